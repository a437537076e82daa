#include <gtest/gtest.h>

#include "IPlugProcessor.h"

#include <vector>

using namespace iplug;

namespace
{

constexpr const char* kBrevantIO = "1-1 1.1-1 1.2-1 1.2-2 2.1-1 2.1-2 2-2 2.2-2";

Config MakeConfig(const char* io, int latency = 0)
{
  Config c;
  c.channelIOStr = io;
  c.latency = latency;
  return c;
}

// Exposes the binding-side entry points; optionally replaces ProcessBlock with "output = 2 * input".
class TestProcessor : public IPlugProcessor
{
public:
  explicit TestProcessor(const char* io = kBrevantIO, int latency = 0)
      : IPlugProcessor(MakeConfig(io, latency), kAPIVST3)
  {
  }

  void ProcessBlock(sample** inputs, sample** outputs, int nFrames) override
  {
    lastFrames = nFrames;
    if (!doubleIt)
      return IPlugProcessor::ProcessBlock(inputs, outputs, nFrames);
    for (int c = 0; c < 2; c++)
      for (int s = 0; s < nFrames; s++)
        outputs[c][s] = 2.0 * inputs[c][s];
  }

  bool SendMidiMsg(const IMidiMsg& msg) override
  {
    sent.push_back(msg);
    return msg.mData1 != 99; // note 99 "fails"
  }

  using IPlugProcessor::AttachBuffers;
  using IPlugProcessor::CreateLatencyDelayLine;
  using IPlugProcessor::mScratchData;
  using IPlugProcessor::PassThroughBuffers;
  using IPlugProcessor::ProcessBuffers;
  using IPlugProcessor::ProcessBuffersAccumulating;
  using IPlugProcessor::SetBlockSize;
  using IPlugProcessor::SetChannelConnections;
  using IPlugProcessor::ZeroScratchBuffers;

  sample* Slot(ERoute dir, int ch) { return mScratchData[dir].Get()[ch]; }

  bool doubleIt = false;
  int lastFrames = -1;
  std::vector<IMidiMsg> sent;
};

std::vector<int> Buses(const IOConfig& config, ERoute dir)
{
  std::vector<int> v;
  for (int i = 0; i < config.NBuses(dir); i++)
    v.push_back(config.GetBusInfo(dir, i)->NChans());
  return v;
}

struct ParseResult
{
  WDL_PtrList_DeleteOnDestroy<IOConfig> configs;
  int n = 0, nIn = 0, nOut = 0, nInBuses = 0, nOutBuses = 0;
  explicit ParseResult(const char* str)
  {
    n = IPlugProcessor::ParseChannelIOStr(str, configs, nIn, nOut, nInBuses, nOutBuses);
  }
};

} // namespace

TEST(IPlugProcessorIO, ParsesThePluginsEightLayouts)
{
  ParseResult r(kBrevantIO);
  ASSERT_EQ(r.n, 8);
  const std::vector<std::vector<int>> ins = {{1}, {1, 1}, {1, 2}, {1, 2}, {2, 1}, {2, 1}, {2}, {2, 2}};
  const std::vector<std::vector<int>> outs = {{1}, {1}, {1}, {2}, {1}, {2}, {2}, {2}};
  for (int i = 0; i < 8; i++)
  {
    EXPECT_EQ(Buses(*r.configs.Get(i), kInput), ins[i]) << i;
    EXPECT_EQ(Buses(*r.configs.Get(i), kOutput), outs[i]) << i;
  }
  EXPECT_EQ(r.nIn, 4);
  EXPECT_EQ(r.nOut, 2);
  EXPECT_EQ(r.nInBuses, 2);
  EXPECT_EQ(r.nOutBuses, 1);

  TestProcessor p;
  EXPECT_EQ(p.MaxNChannels(kInput), 4);
  EXPECT_EQ(p.MaxNChannels(kOutput), 2);
  EXPECT_EQ(p.MaxNChannelsForBus(kInput, 0), 2);
  int idx = -1;
  EXPECT_EQ(p.MaxNBuses(kInput, &idx), 2);
  EXPECT_EQ(idx, 7);
  EXPECT_EQ(p.MaxNBuses(kOutput, &idx), 1);
  EXPECT_EQ(idx, 7);
  EXPECT_TRUE(p.HasSidechainInput());
}

TEST(IPlugProcessorIO, ParsesUnusualStrings)
{
  ParseResult wild("*-*");
  ASSERT_EQ(wild.n, 1);
  EXPECT_EQ(Buses(*wild.configs.Get(0), kInput), std::vector<int>{kWildcardNChans});
  EXPECT_EQ(wild.nIn, 0);
  EXPECT_EQ(wild.nOut, 0);
  EXPECT_EQ(TestProcessor("*-*").MaxNChannelsForBus(kInput, 0), -1);

  ParseResult gen("0-2");
  EXPECT_EQ(gen.configs.Get(0)->NBuses(kInput), 0);
  EXPECT_EQ(Buses(*gen.configs.Get(0), kOutput), std::vector<int>{2});

  EXPECT_EQ(ParseResult("2-2 2-2").n, 2);

  // Runs of separators, an unreadable bus, a token without "-" (skipped), extra "-" parts, a huge count.
  ParseResult odd("  1..2-1   x.3-2 4 5-6-7 99999999999-1 ");
  ASSERT_EQ(odd.n, 4);
  EXPECT_EQ(Buses(*odd.configs.Get(0), kInput), (std::vector<int>{1, 2}));
  EXPECT_EQ(Buses(*odd.configs.Get(1), kInput), std::vector<int>{3});
  EXPECT_EQ(Buses(*odd.configs.Get(2), kOutput), std::vector<int>{6});
  EXPECT_EQ(Buses(*odd.configs.Get(3), kInput), std::vector<int>{kMaxNChansPerBus});

  EXPECT_EQ(ParseResult(nullptr).n, 0);
  EXPECT_EQ(ParseResult("").n, 0);
}

TEST(IPlugProcessorIO, Queries)
{
  TestProcessor p;
  EXPECT_EQ(p.GetIOConfigWithChanCounts({1, 1}, {1}), 1);
  EXPECT_EQ(p.GetIOConfigWithChanCounts({2, 2}, {2}), 7);
  EXPECT_EQ(p.GetIOConfigWithChanCounts({2}, {2}), 6);
  EXPECT_EQ(p.GetIOConfigWithChanCounts({3}, {3}), -1);
  EXPECT_EQ(p.GetIOConfigWithChanCounts({}, {}), -1);

  EXPECT_TRUE(p.LegalIO(4, 2));
  EXPECT_TRUE(p.LegalIO(3, 1));
  EXPECT_FALSE(p.LegalIO(5, 2));
  EXPECT_TRUE(p.LegalIO(-1, 2));

  WDL_String name;
  const auto busName = [&](ERoute dir, int idx, int n)
  {
    p.GetBusName(dir, idx, n, name);
    return std::string(name.Get());
  };
  EXPECT_EQ(busName(kInput, 0, 2), "Main");
  EXPECT_EQ(busName(kInput, 1, 2), "Aux");
  EXPECT_EQ(busName(kInput, 0, 1), "Input");
  EXPECT_EQ(busName(kInput, 2, 3), "Input 2");
  EXPECT_EQ(busName(kOutput, 0, 1), "Output");
  EXPECT_EQ(busName(kOutput, 1, 2), "Output 1");

  EXPECT_DOUBLE_EQ(p.GetSamplesPerBeat(), 24000.0);
  ITransportInfo t;
  t.mTempo = 0.0;
  p.SetTransportInfo(t);
  EXPECT_EQ(p.GetSamplesPerBeat(), 0.0);
  EXPECT_FALSE(p.SetSampleRate(0.0));
  EXPECT_EQ(p.GetSampleRate(), 48000.0);
}

TEST(IPlugProcessorIO, ChannelLabelsAndStereoLimit)
{
  TestProcessor p;
  p.SetChannelLabel(kInput, 2, "SC %i", false);
  EXPECT_STREQ(p.GetChannelLabel(kInput, 2), "SC 3");
  p.SetChannelLabel(kInput, 2, "SC %02d", true);
  EXPECT_STREQ(p.GetChannelLabel(kInput, 2), "SC 02");
  p.SetChannelLabel(kOutput, 0, "%s%n", true); // not an integer format: kept literally
  EXPECT_STREQ(p.GetChannelLabel(kOutput, 0), "%s%n");
  p.SetChannelLabel(kOutput, 5, "x", true);
  EXPECT_STREQ(p.GetChannelLabel(kOutput, 5), "");
  p.SetChannelLabel(kInput, 0, "0123456789012345678901234567890123456789 %i", true);
  EXPECT_EQ(std::string(p.GetChannelLabel(kInput, 0)).size(), 32u);

  p.SetChannelConnections(kInput, 0, 4, true);
  p.LimitToStereoIO();
  EXPECT_EQ(p.NChannelsConnected(kInput), 2);
}

// Four inputs (main + side chain), two outputs, block size 8.
class IPlugProcessorRouting : public ::testing::Test
{
protected:
  static constexpr int kFrames = 8;
  TestProcessor p;
  std::vector<double> in[4], out[2];
  double* inPtrs[4] = {};
  double* outPtrs[2] = {};

  void SetUp() override
  {
    ASSERT_TRUE(p.SetBlockSize(kFrames));
    for (int c = 0; c < 4; c++)
    {
      in[c].resize(kFrames);
      for (int s = 0; s < kFrames; s++)
        in[c][s] = (c + 1) * 100 + s;
      inPtrs[c] = in[c].data();
    }
    for (int c = 0; c < 2; c++)
    {
      out[c].assign(kFrames, -1.0);
      outPtrs[c] = out[c].data();
    }
  }

  void Attach(bool sidechain)
  {
    p.SetChannelConnections(kInput, 0, 4, false);
    p.SetChannelConnections(kInput, 0, 2, true);
    p.AttachBuffers(kInput, 0, 2, inPtrs, kFrames);
    if (sidechain)
    {
      p.SetChannelConnections(kInput, 2, 2, true);
      p.AttachBuffers(kInput, 2, 2, inPtrs + 2, kFrames);
    }
    p.SetChannelConnections(kOutput, 0, 2, true);
    p.AttachBuffers(kOutput, 0, 2, outPtrs, kFrames);
  }
};

TEST_F(IPlugProcessorRouting, SidechainConnectionAndScratch)
{
  Attach(false);
  EXPECT_EQ(p.NChannelsConnected(kInput), 2);
  EXPECT_EQ(p.Slot(kInput, 0), in[0].data());
  p.ZeroScratchBuffers();
  for (int s = 0; s < kFrames; s++)
    EXPECT_EQ(p.Slot(kInput, 3)[s], 0.0); // unconnected side chain reads silence

  Attach(true);
  EXPECT_EQ(p.NChannelsConnected(kInput), 4);
  EXPECT_EQ(p.Slot(kInput, 3), in[3].data());

  p.PassThroughBuffers(0.0, kFrames);
  EXPECT_EQ(out[0], in[0]);
  EXPECT_EQ(out[1], in[1]);
  EXPECT_NE(p.Slot(kInput, 3), in[3].data()); // host pointers are dropped after the block
}

TEST_F(IPlugProcessorRouting, BlockSizeChangesAndLimits)
{
  p.SetChannelConnections(kInput, 2, 2, false);
  p.Slot(kInput, 2)[0] = 7.0;
  EXPECT_TRUE(p.SetBlockSize(kFrames));
  EXPECT_EQ(p.Slot(kInput, 2)[0], 7.0); // same size keeps contents
  EXPECT_TRUE(p.SetBlockSize(16));
  EXPECT_EQ(p.Slot(kInput, 2)[0], 0.0); // new size clears (and the slot follows the moved buffer)
  EXPECT_EQ(p.Slot(kInput, 2)[15], 0.0);

  EXPECT_FALSE(p.SetBlockSize(-1));
  EXPECT_FALSE(p.SetBlockSize(IPlugProcessor::kMaxBlockSize + 1));
  EXPECT_FALSE(p.SetBlockSize(0x7fffffff));
  EXPECT_EQ(p.GetBlockSize(), 16);

  // A host that lies about the block length gets at most the block size processed.
  ASSERT_TRUE(p.SetBlockSize(kFrames));
  Attach(false);
  p.ProcessBuffers(0.0, 1000);
  EXPECT_EQ(p.lastFrames, kFrames);
}

TEST_F(IPlugProcessorRouting, LatencyDelaysPassThroughExactly)
{
  for (int latency : {1, 3, 100})
  {
    TestProcessor d(kBrevantIO, latency);
    d.CreateLatencyDelayLine();
    ASSERT_TRUE(d.SetBlockSize(kFrames));
    // Feed a ramp block by block, in place, and compare with the ramp shifted by the latency.
    std::vector<double> got;
    for (int b = 0; b < 20; b++)
    {
      std::vector<double> l(kFrames), r(kFrames);
      for (int s = 0; s < kFrames; s++)
        l[s] = r[s] = 1.0 + b * kFrames + s;
      double* ptrs[2] = {l.data(), r.data()};
      d.SetChannelConnections(kInput, 0, 2, true);
      d.AttachBuffers(kInput, 0, 2, ptrs, kFrames);
      d.SetChannelConnections(kOutput, 0, 2, true);
      d.AttachBuffers(kOutput, 0, 2, ptrs, kFrames);
      d.PassThroughBuffers(0.0, kFrames);
      EXPECT_EQ(l, r);
      got.insert(got.end(), l.begin(), l.end());
    }
    for (size_t i = 0; i < got.size(); i++)
      EXPECT_EQ(got[i], i < size_t(latency) ? 0.0 : double(i - latency + 1)) << latency << " @" << i;
  }
}

TEST(IPlugProcessorLatency, HostBuffersNeedNoScratch)
{
  // Every channel fed by the host: the block length is not limited by scratch buffers (none exist yet).
  constexpr int kLong = 300;
  for (int latency : {0, 100})
  {
    TestProcessor p(kBrevantIO, latency);
    p.CreateLatencyDelayLine();
    std::vector<double> in[4], out[2];
    double* ins[4];
    double* outs[2];
    for (int c = 0; c < 4; c++)
    {
      for (int s = 0; s < kLong; s++)
        in[c].push_back(c * 1000 + s + 1);
      ins[c] = in[c].data();
    }
    for (int c = 0; c < 2; c++)
    {
      out[c].assign(kLong, -1.0);
      outs[c] = out[c].data();
    }
    p.SetChannelConnections(kInput, 0, 4, true);
    p.AttachBuffers(kInput, 0, 4, ins, kLong);
    p.SetChannelConnections(kOutput, 0, 2, true);
    p.AttachBuffers(kOutput, 0, 2, outs, kLong);
    p.PassThroughBuffers(0.0, kLong);
    for (int c = 0; c < 2; c++)
      for (int s = 0; s < kLong; s++)
        ASSERT_EQ(out[c][s], s < latency ? 0.0 : in[c][s - latency]) << latency << " ch" << c << " @" << s;
  }
}

TEST(IPlugProcessorLatency, HostileAndChangingLatency)
{
  TestProcessor p(kBrevantIO, 4);
  p.CreateLatencyDelayLine();
  ASSERT_TRUE(p.SetBlockSize(4));
  double a[4] = {1, 2, 3, 4}, o[4] = {};
  double* ins[1] = {a};
  double* outs[1] = {o};
  p.SetChannelConnections(kInput, 0, 1, true);
  p.SetChannelConnections(kOutput, 0, 1, true);

  p.SetLatency(-3);
  EXPECT_EQ(p.GetLatency(), 0);
  p.SetLatency(0x7fffffff); // too long to hold: no crash, bypass passes through undelayed
  p.AttachBuffers(kInput, 0, 1, ins, 4);
  p.AttachBuffers(kOutput, 0, 1, outs, 4);
  p.PassThroughBuffers(0.0, 4);
  EXPECT_EQ(o[3], 4.0);

  p.SetLatency(2); // clears the line
  p.AttachBuffers(kInput, 0, 1, ins, 4);
  p.AttachBuffers(kOutput, 0, 1, outs, 4);
  p.PassThroughBuffers(0.0, 4);
  EXPECT_EQ(o[0], 0.0);
  EXPECT_EQ(o[1], 0.0);
  EXPECT_EQ(o[2], 1.0);
}

TEST_F(IPlugProcessorRouting, ThirtyTwoBitConversionAndAccumulation)
{
  p.doubleIt = true;
  std::vector<float> fin[2], fout[2];
  float* finPtrs[2];
  float* foutPtrs[2];
  for (int c = 0; c < 2; c++)
  {
    fin[c].resize(kFrames);
    for (int s = 0; s < kFrames; s++)
      fin[c][s] = 0.1f * float(s + c);
    fout[c].assign(kFrames, 1.0f);
    finPtrs[c] = fin[c].data();
    foutPtrs[c] = fout[c].data();
  }
  const auto attach = [&]
  {
    p.SetChannelConnections(kInput, 0, 2, true);
    p.AttachBuffers(kInput, 0, 2, finPtrs, kFrames);
    p.SetChannelConnections(kOutput, 0, 2, true);
    p.AttachBuffers(kOutput, 0, 2, foutPtrs, kFrames);
  };
  attach();
  p.ProcessBuffers(0.0f, kFrames);
  for (int s = 0; s < kFrames; s++)
    EXPECT_EQ(fout[1][s], static_cast<float>(2.0 * double(fin[1][s])));

  std::vector<float> before = fout[0];
  attach();
  p.ProcessBuffersAccumulating(kFrames);
  for (int s = 0; s < kFrames; s++)
    EXPECT_EQ(fout[0][s], before[s] + static_cast<float>(2.0 * double(fin[0][s])));

  // Unconnected output: the host buffer is left alone.
  fout[1].assign(kFrames, 5.0f);
  p.SetChannelConnections(kInput, 0, 2, true);
  p.AttachBuffers(kInput, 0, 2, finPtrs, kFrames);
  p.SetChannelConnections(kOutput, 0, 1, true);
  p.SetChannelConnections(kOutput, 1, 1, false);
  p.AttachBuffers(kOutput, 0, 2, foutPtrs, kFrames);
  p.ProcessBuffers(0.0f, kFrames);
  EXPECT_EQ(fout[1], std::vector<float>(kFrames, 5.0f));
}

TEST(IPlugProcessorDefaults, PassThroughZeroesExtraOutputsAndMidiForwarding)
{
  TestProcessor p("1-2");
  ASSERT_TRUE(p.SetBlockSize(4));
  double a[4] = {1, 2, 3, 4}, o0[4], o1[4] = {9, 9, 9, 9};
  double* ins[1] = {a};
  double* outs[2] = {o0, o1};
  p.SetChannelConnections(kInput, 0, 1, true);
  p.AttachBuffers(kInput, 0, 1, ins, 4);
  p.SetChannelConnections(kOutput, 0, 2, true);
  p.AttachBuffers(kOutput, 0, 2, outs, 4);
  p.ProcessBuffers(0.0, 4);
  EXPECT_EQ(o0[3], 4.0);
  EXPECT_EQ(o1[0], 0.0);

  IMidiMsg note;
  note.MakeNoteOnMsg(60, 100, 3);
  p.ProcessMidiMsg(note);
  ASSERT_EQ(p.sent.size(), 1u);
  EXPECT_EQ(p.sent[0].mStatus, 0x90);
  EXPECT_EQ(p.sent[0].mOffset, 3);

  WDL_TypedBuf<IMidiMsg> msgs;
  EXPECT_TRUE(p.SendMidiMsgs(msgs));
  msgs.Add(note);
  IMidiMsg bad(0, 0x90, 99, 1);
  msgs.Add(bad);
  msgs.Add(note);
  EXPECT_FALSE(p.SendMidiMsgs(msgs));
  EXPECT_EQ(p.sent.size(), 4u); // every message is still sent
}
