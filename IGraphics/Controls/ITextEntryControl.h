#pragma once
// In-editor one-line text field, used in place of a platform text field when attached to the graphics
// context. It keeps the edit's lifecycle and the completion contract with the graphics context; editing is
// line-oriented (the initial text is selected, typing replaces it, backspace deletes).

#include "IControl.h"

namespace iplug::igraphics
{

class ITextEntryControl : public IControl
{
public:
  ITextEntryControl();

  /** Opens an edit of str over bounds; the whole text starts selected. */
  void CreateTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length, const char* str);
  /** Applies the text through the graphics context and closes. */
  void CommitEdit();
  /** Closes without applying anything. */
  void DismissEdit();

  bool EditInProgress() const { return mEditing; }
  const char* GetStr() const { return mEditString.Get(); }
  bool GetAllSelected() const { return mAllSelected; }

  void Draw(IGraphics& g) override;
  bool OnKeyDown(float x, float y, const IKeyPress& key) override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;

private:
  /** Whether the parameter being edited accepts the character. */
  bool CharAccepted(const char* utf8) const;
  void EndEdit();

  WDL_String mEditString;
  int mParamIdx = kNoParameter;
  int mMaxLength = 0;
  bool mEditing = false;
  bool mAllSelected = false;
};

} // namespace iplug::igraphics
