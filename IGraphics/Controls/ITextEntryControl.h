#pragma once
// In-editor one-line text field, used in place of a platform text field when attached to the graphics
// context (and as the platform's own text field on Linux). stb_textedit keeps the cursor, selection and undo
// state over a UTF-16 copy of the text; character widths come from the backend's text measuring.

#include "IControl.h"

#include <algorithm>
#include <string>
#include <vector>

#define STB_TEXTEDIT_CHARTYPE char16_t
#define STB_TEXTEDIT_POSITIONTYPE int
#define STB_TEXTEDIT_KEYTYPE unsigned int
#include <stb_textedit.h>

namespace iplug::igraphics
{

class IPopupMenu;

class ITextEntryControl : public IControl
{
public:
  ITextEntryControl();
  ~ITextEntryControl() override;

  /** Opens an edit of str over bounds; the whole text starts selected. */
  void CreateTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length, const char* str);
  /** Applies the text through the graphics context and closes. */
  void CommitEdit();
  /** Closes without applying anything. */
  void DismissEdit();

  void SelectAll();
  void CopySelection();
  void Cut();
  void Paste();
  /** Replaces the whole text (UTF-8), keeping the undo history. */
  void SetStr(const char* str);

  bool EditInProgress() const { return mEditing; }
  /** The text as UTF-8. */
  const char* GetStr() const { return mUTF8.c_str(); }
  int GetCursor() const { return mEditState.cursor; }
  int GetSelectionStart() const { return std::min(mEditState.select_start, mEditState.select_end); }
  int GetSelectionEnd() const { return std::max(mEditState.select_start, mEditState.select_end); }
  bool GetAllSelected() const { return GetSelectionStart() == 0 && GetSelectionEnd() == Length() && Length() > 0; }
  bool GetCaretVisible() const { return mDrawCursor; }
  /** Shows or hides the caret (the blink animation drives it). */
  void SetCaretVisible(bool visible);
  /** Left edge of the text as drawn, and the x position of character boundary idx. */
  float GetTextLeft() const;
  float GetCharX(int idx) const;

  void Draw(IGraphics& g) override;
  bool OnKeyDown(float x, float y, const IKeyPress& key) override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const IMouseMod& mod) override;
  void OnPopupMenuSelection(IPopupMenu* pSelectedMenu, int valIdx) override;

  // stb_textedit's view of the text.
  static int GetLength(ITextEntryControl* pEntry) { return pEntry->Length(); }
  static char16_t GetChar(ITextEntryControl* pEntry, int idx);
  static float GetCharWidth(ITextEntryControl* pEntry, int rowStart, int idx);
  static void Layout(StbTexteditRow* pRow, ITextEntryControl* pEntry, int startIdx);
  static bool DeleteChars(ITextEntryControl* pEntry, int idx, int n);
  static bool InsertChars(ITextEntryControl* pEntry, int idx, const char16_t* text, int n);

private:
  int Length() const { return static_cast<int>(mEditString.size()); }
  /** Sends one key to stb_textedit; true when the text, cursor or selection changed. */
  bool CallSTB(unsigned int key);
  /** Whether the parameter being edited accepts the code point. */
  bool CodepointAccepted(char32_t cp) const;
  void OnTextChange();
  void FillCharWidthCache();
  void EndEdit();
  float LineTop() const;
  float LineBottom() const;
  /** Text with glyphs this field cannot edit replaced, clipped to the maximum length. */
  std::u16string Sanitize(const std::u16string& text, int room) const;

  std::u16string mEditString;
  std::string mUTF8;
  STB_TexteditState mEditState{};
  std::vector<float> mCharWidths;
  int mParamIdx = kNoParameter;
  int mMaxLength = 0;
  bool mEditing = false;
  bool mDrawCursor = false;
  bool mMouseIsDown = false;
};

} // namespace iplug::igraphics
