#include <gtest/gtest.h>

#include "IGraphicsEditorDelegate.h"
#include "IPlugByteChunk.h"

#include <string>
#include <vector>

using namespace iplug;
using iplug::igraphics::IGEditorDelegate;

namespace
{
// Records the hooks the delegate calls, in order.
template <class Base> class Recorder : public Base
{
public:
  using Base::Base;
  void OnParamChange(int idx, EParamSource src, int offset) override
  {
    log.push_back("change " + std::to_string(idx) + " " + std::to_string(src) + " " + std::to_string(offset));
  }
  void OnParamChangeUI(int idx, EParamSource src) override
  {
    log.push_back("ui " + std::to_string(idx) + " " + std::to_string(src));
  }
  bool OnMessage(int msgTag, int ctrlTag, int dataSize, const void*) override
  {
    log.push_back("msg " + std::to_string(msgTag) + " " + std::to_string(ctrlTag) + " " + std::to_string(dataSize));
    return true;
  }
  void OnUIClose() override
  {
    log.push_back("close");
    this->CloseWindow(); // as the platform view does while it is being removed
  }
  std::vector<std::string> log;
};
} // namespace

TEST(IEditorDelegate, ParameterTableAndSizeLimits)
{
  IEditorDelegate d(3);
  EXPECT_EQ(d.NParams(), 3);
  EXPECT_NE(d.GetParam(2), nullptr);
  EXPECT_EQ(d.GetParam(3), nullptr);
  EXPECT_EQ(d.GetParam(-1), nullptr);
  EXPECT_EQ(d.GetParam(0)->Type(), IParam::kTypeNone);

  EXPECT_EQ(d.GetMinWidth(), 10);
  EXPECT_EQ(d.GetMaxHeight(), 100000);
  d.SetSizeConstraints(600, 300, 200, 400);
  EXPECT_EQ(d.GetMinWidth(), 300);
  EXPECT_EQ(d.GetMaxWidth(), 600);
  EXPECT_EQ(d.GetMinHeight(), 200);
  EXPECT_EQ(d.GetMaxHeight(), 400);
  d.SetEditorSize(997, 612);
  EXPECT_EQ(d.GetEditorWidth(), 997);
  EXPECT_EQ(d.GetEditorHeight(), 612);

  IEditorDelegate empty(0);
  EXPECT_EQ(empty.NParams(), 0);
  EXPECT_EQ(empty.GetParam(0), nullptr);
}

TEST(IEditorDelegate, ResetAndRestoreAnnounceEveryParameterInOrder)
{
  Recorder<IEditorDelegate> d(2);
  d.OnParamReset(kPresetRecall);
  EXPECT_EQ(d.log, (std::vector<std::string>{"change 0 2 -1", "ui 0 2", "change 1 2 -1", "ui 1 2"}));

  d.log.clear();
  d.OnRestoreState();
  EXPECT_EQ(d.log, (std::vector<std::string>{"ui 0 4", "ui 1 4"}));

  d.log.clear();
  EXPECT_EQ(d.OpenWindow(nullptr), nullptr); // no view, but the editor hooks run
  EXPECT_EQ(d.log, (std::vector<std::string>{"ui 0 4", "ui 1 4"}));

  d.log.clear();
  d.SendArbitraryMsgFromDelegate(7, 3);
  d.SendControlMsgFromDelegate(5, 8);
  d.SendArbitraryMsgFromUI(9, 2, 1);
  EXPECT_EQ(d.log, (std::vector<std::string>{"msg 7 -1 3", "msg 8 5 0", "msg 9 2 1"}));

  d.log.clear();
  d.GetParam(1)->InitDouble("p", 0, 0, 10, 1);
  d.SendParameterValueFromUI(1, 0.5);
  EXPECT_EQ(d.GetParam(1)->Value(), 5.0);
  EXPECT_EQ(d.log, (std::vector<std::string>{"ui 1 3"}));
}

TEST(IGEditorDelegate, ClosedEditorBehaviour)
{
  Recorder<IGEditorDelegate> d(1);
  EXPECT_EQ(d.CreateGraphics(), nullptr);
  EXPECT_EQ(d.OpenWindow(nullptr), nullptr);
  EXPECT_EQ(d.GetUI(), nullptr);

  int made = 0;
  d.mMakeGraphicsFunc = [&made]() -> igraphics::IGraphics*
  {
    ++made;
    return nullptr;
  };
  EXPECT_EQ(d.OpenWindow(nullptr), nullptr);
  EXPECT_EQ(made, 1);

  igraphics::IGraphics* laidOut = reinterpret_cast<igraphics::IGraphics*>(&made);
  igraphics::IGraphics* seen = nullptr;
  d.mLayoutFunc = [&seen](igraphics::IGraphics* g) { seen = g; };
  d.LayoutUI(laidOut);
  EXPECT_EQ(seen, laidOut);

  // Control messages have no receiver while closed; parameter values still reach the UI hook.
  d.log.clear();
  d.SendControlMsgFromDelegate(1, 2);
  d.SendParameterValueFromDelegate(0, 0.3, true);
  d.CloseWindow(); // re-entered from OnUIClose: the inner call does nothing
  EXPECT_EQ(d.log, (std::vector<std::string>{"ui 0 4", "close"}));
}

TEST(IGEditorDelegate, EditorStateRecord)
{
  IGEditorDelegate d(0);
  IByteChunk chunk;
  EXPECT_TRUE(d.SerializeEditorState(chunk));
  EXPECT_EQ(chunk.Size(), 12);
  EXPECT_EQ(std::vector<uint8_t>(chunk.GetData(), chunk.GetData() + 12), std::vector<uint8_t>(12, 0));

  IByteChunk in;
  const int w = 1200, h = 700;
  const float s = 1.5f;
  in.Put(&w);
  in.Put(&h);
  in.Put(&s);
  EXPECT_EQ(d.UnserializeEditorState(in, 0), 12);
  IByteChunk out;
  d.SerializeEditorSize(out);
  EXPECT_TRUE(out.IsEqual(in));
  EXPECT_EQ(out.GetData()[0], 0xB0); // 1200 little-endian
  EXPECT_EQ(out.GetData()[1], 0x04);

  // Cut short: width and height are taken, the scale reads as 0, and the read fails.
  IByteChunk shortChunk;
  shortChunk.PutBytes(in.GetData(), 8);
  EXPECT_EQ(d.UnserializeEditorState(shortChunk, 0), -1);
  EXPECT_EQ(d.GetLastWidth(), 1200);
  EXPECT_EQ(d.GetLastHeight(), 700);
  EXPECT_EQ(d.GetLastScale(), 0.f);

  EXPECT_EQ(d.UnserializeEditorState(in, -1), -1);
  EXPECT_EQ(d.UnserializeEditorSize(in, 4), -1);

  IEditorDelegate plain(0);
  IByteChunk none;
  EXPECT_TRUE(plain.SerializeEditorState(none));
  EXPECT_EQ(none.Size(), 0);
  EXPECT_EQ(plain.UnserializeEditorState(in, 3), 3);
}
