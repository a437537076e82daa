#include <gtest/gtest.h>

#include "StateTestPlugin.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

using namespace iplug;

namespace
{
std::vector<uint8_t> Bytes(const IByteChunk& c)
{
  return c.Size() ? std::vector<uint8_t>(c.GetData(), c.GetData() + c.Size()) : std::vector<uint8_t>{};
}

std::vector<double> Values(const IPluginBase& p)
{
  std::vector<double> v;
  for (int i = 0; i < p.NParams(); ++i)
    v.push_back(p.GetParam(i)->Value());
  return v;
}

// Moves every parameter away from its default, deterministically.
void Scramble(IPluginBase& p, double n)
{
  for (int i = 0; i < p.NParams(); ++i)
    p.GetParam(i)->SetNormalized(std::fmod(n + 0.137 * i, 1.0));
}

std::string TempPath(const char* name) { return ::testing::TempDir() + std::to_string(getpid()) + "_" + name; }

std::string ReadText(const std::string& path)
{
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
} // namespace

TEST(IPluginBase, StateIs260BytesAndRoundTrips)
{
  StateTestPlugin a;
  Scramble(a, 0.3);
  IByteChunk state;
  ASSERT_TRUE(a.SerializeState(state));
  ASSERT_EQ(state.Size(), 260);
  double first = 0;
  state.Get(&first, 12);
  EXPECT_EQ(first, a.GetParam(0)->Value());

  StateTestPlugin b;
  EXPECT_EQ(b.UnserializeState(state, 0), 260);
  EXPECT_EQ(Values(b), Values(a));
  EXPECT_EQ(b.lastResetSource, kPresetRecall);
  IByteChunk again;
  b.SerializeState(again);
  EXPECT_EQ(Bytes(again), Bytes(state));

  // The default state operations hold the parameters only.
  IPluginBase plain(2, 0);
  IByteChunk params;
  plain.GetParam(1)->InitDouble("x", 3, 0, 10, 1);
  EXPECT_TRUE(plain.IPluginBase::SerializeState(params));
  EXPECT_EQ(params.Size(), 16);
  EXPECT_TRUE(plain.SerializeVST3CtrlrState(params));
  EXPECT_EQ(params.Size(), 16);
  EXPECT_EQ(plain.UnserializeVST3CtrlrState(params, 5), 5);
}

TEST(IPluginBase, RestoreClampsAndHandlesShortStates)
{
  StateTestPlugin p;
  IByteChunk state;
  p.SerializeState(state);

  // Out-of-range and off-step stored values are clamped and rounded.
  IByteChunk edited;
  edited.PutBytes(state.GetData(), state.Size());
  const double tooBig = 250, offStep = 0.7, nan = std::nan("");
  std::memcpy(edited.GetData() + 12 + 8 * 4, &tooBig, 8);
  std::memcpy(edited.GetData() + 12 + 8 * 30, &offStep, 8);
  std::memcpy(edited.GetData() + 12 + 8 * 2, &nan, 8);
  EXPECT_EQ(p.UnserializeState(edited, 0), 260);
  EXPECT_EQ(p.GetParam(4)->Value(), 100.0);
  EXPECT_EQ(p.GetParam(30)->Value(), 1.0);
  EXPECT_EQ(p.GetParam(2)->Value(), 0.0);
  EXPECT_TRUE(p.ParamsValid());
  const double smallNegative = -0.3;
  std::memcpy(edited.GetData() + 12 + 8 * 30, &smallNegative, 8);
  p.UnserializeState(edited, 0);
  EXPECT_FALSE(std::signbit(p.GetParam(30)->Value())); // so the state writes back the same bytes

  // 8 bytes short: the last parameter gets its constrained 0, the result is -1.
  StateTestPlugin q;
  q.GetParam(30)->Set(1);
  IByteChunk shortState;
  shortState.PutBytes(state.GetData(), 252);
  q.GetParam(29)->Set(2);
  EXPECT_EQ(q.UnserializeState(shortState, 0), -1);
  EXPECT_EQ(q.GetParam(29)->Value(), 0.0);
  EXPECT_EQ(q.GetParam(30)->Value(), 0.0);

  // Shorter than a parameter: only the one that runs short changes.
  StateTestPlugin r;
  r.GetParam(0)->Set(20);
  r.GetParam(1)->Set(2000);
  IByteChunk cut;
  cut.PutBytes(state.GetData(), 16);
  EXPECT_EQ(r.UnserializeState(cut, 0), -1);
  EXPECT_EQ(r.GetParam(0)->Value(), 1.0);
  EXPECT_EQ(r.GetParam(1)->Value(), 2000.0);

  // No editor record: nothing changes, the parameters are still announced once.
  StateTestPlugin s;
  s.GetParam(0)->Set(33);
  const int resets = s.resets;
  IByteChunk tiny;
  tiny.PutBytes(state.GetData(), 11);
  EXPECT_EQ(s.UnserializeState(tiny, 0), -1);
  EXPECT_EQ(s.GetParam(0)->Value(), 33.0);
  EXPECT_EQ(s.resets, resets + 1);
  EXPECT_EQ(s.UnserializeParams(state, -1), -1);
  EXPECT_EQ(s.GetParam(0)->Value(), 33.0);
  EXPECT_EQ(s.resets, resets + 2);
}

TEST(IPluginBase, RestorePresetCapturesThenRestores)
{
  StateTestPlugin p(2);
  Scramble(p, 0.1);
  const std::vector<double> captured = Values(p);
  EXPECT_FALSE(p.RestorePreset(-1));
  EXPECT_FALSE(p.RestorePreset(2));
  EXPECT_FALSE(p.RestorePreset(""));
  EXPECT_FALSE(p.RestorePreset("nope"));
  EXPECT_STREQ(p.GetPresetName(2), "");

  EXPECT_TRUE(p.RestorePreset(0));
  EXPECT_STREQ(p.GetPresetName(0), "user preset 1");
  EXPECT_EQ(Values(p), captured);
  EXPECT_EQ(p.presetsModified, 1);

  Scramble(p, 0.6);
  EXPECT_TRUE(p.RestorePreset(1));
  EXPECT_STREQ(p.GetPresetName(1), "user preset 2");
  EXPECT_EQ(p.GetCurrentPresetIdx(), 1);

  EXPECT_TRUE(p.RestorePreset("user preset 1"));
  EXPECT_EQ(Values(p), captured);
  EXPECT_EQ(p.GetCurrentPresetIdx(), 0);

  // An initialized preset whose state does not read back fails and changes nothing else.
  IPluginBase base(1, 1);
  IByteChunk empty;
  EXPECT_TRUE(base.MakePresetFromChunk("broken", empty));
  EXPECT_FALSE(base.RestorePreset(0));
}

TEST(IPluginBase, MakePresetForms)
{
  IPluginBase p(3, 4);
  p.GetParam(0)->InitInt("i", 0, 0, 10);
  p.GetParam(1)->InitDouble("d", 0, 0, 10, 0.5);
  p.GetParam(2)->InitBool("b", false);
  p.GetParam(1)->Set(4.5);

  EXPECT_TRUE(p.MakePreset("plain", 7, 2.5, 1));
  EXPECT_TRUE(p.MakePresetFromNamedParams("named", 1, 0, 9));
  const uint8_t raw[] = {1, 2, 3};
  EXPECT_TRUE(p.MakePresetFromBlob("blob", "AQID", 4));
  IByteChunk chunk;
  chunk.PutBytes(raw, 3);
  EXPECT_TRUE(p.MakePresetFromChunk(nullptr, chunk));
  EXPECT_FALSE(p.MakePreset("full", 0, 0.0, 0)); // no free preset left

  IByteChunk expected;
  for (double v : {7.0, 2.5, 1.0})
    expected.Put(&v);
  EXPECT_TRUE(p.GetPreset(0)->mChunk.IsEqual(expected));
  expected.Clear();
  for (double v : {9.0, 4.5, 0.0}) // unnamed ones take their current values
    expected.Put(&v);
  EXPECT_TRUE(p.GetPreset(1)->mChunk.IsEqual(expected));
  EXPECT_EQ(Bytes(p.GetPreset(2)->mChunk), (std::vector<uint8_t>{1, 2, 3, 0}));
  EXPECT_STREQ(p.GetPresetName(3), "");

  IPluginBase q(1, 3);
  q.MakeDefaultPreset(nullptr, 1);
  EXPECT_STREQ(q.GetPresetName(0), "Empty");
  q.MakePresetFromBlob("stops at =", "AQ==AQID", 3);
  EXPECT_EQ(Bytes(q.GetPreset(1)->mChunk), (std::vector<uint8_t>{1, 0, 0}));
  q.PruneUninitializedPresets();
  EXPECT_EQ(q.NPresets(), 2);
  q.EnsureDefaultPreset(); // nothing free any more
  EXPECT_EQ(q.NPresets(), 2);

  // Names are kept below 256 characters.
  IPluginBase r(0, 1);
  r.MakeDefaultPreset(std::string(400, 'n').c_str());
  EXPECT_EQ(std::strlen(r.GetPresetName(0)), 255u);
}

TEST(IPluginBase, PresetBankRoundTripAndHostileBanks)
{
  StateTestPlugin p(1);
  IByteChunk fresh;
  EXPECT_TRUE(p.SerializePresets(fresh));
  EXPECT_EQ(Bytes(fresh), (std::vector<uint8_t>{5, 0, 0, 0, 'e', 'm', 'p', 't', 'y', 0}));

  StateTestPlugin a(3);
  Scramble(a, 0.2);
  const std::vector<double> first = Values(a);
  a.RestorePreset(0);
  Scramble(a, 0.7);
  a.RestorePreset(2);
  IByteChunk bank;
  ASSERT_TRUE(a.SerializePresets(bank));
  EXPECT_EQ(bank.Size(), 2 * (4 + 13 + 1 + 260) + (4 + 5 + 1));

  StateTestPlugin b(3);
  EXPECT_EQ(b.UnserializePresets(bank, 0), bank.Size());
  IByteChunk again;
  b.SerializePresets(again);
  EXPECT_EQ(Bytes(again), Bytes(bank));
  EXPECT_EQ(Values(b), first); // the current preset, 0, is restored at the end
  EXPECT_STREQ(b.GetPresetName(2), "user preset 2");
  EXPECT_TRUE(b.RestorePreset(2));
  EXPECT_EQ(Values(b), Values(a));

  // Every truncation fails cleanly and leaves valid parameters.
  for (int n = 0; n < bank.Size(); ++n)
  {
    StateTestPlugin c(3);
    IByteChunk cut;
    cut.PutBytes(bank.GetData(), n);
    EXPECT_EQ(c.UnserializePresets(cut, 0), -1) << n;
    EXPECT_TRUE(c.ParamsValid()) << n;
  }
}

TEST(IPluginBase, IdentityStrings)
{
  StateTestPlugin p;
  WDL_String s;
  p.GetPluginVersionStr(s);
  EXPECT_STREQ(s.Get(), "v1.0.0");
  p.SetVersion(0x010203);
  p.GetPluginVersionStr(s);
  EXPECT_STREQ(s.Get(), "v1.2.3");
  EXPECT_EQ(p.GetPluginVersion(false), 0x010203);
  EXPECT_EQ(p.GetPluginVersion(true), 10203);
  EXPECT_STREQ(p.GetAPIStr(), "VST3");
  EXPECT_STREQ(p.GetArchStr(), "x86-64");
  p.SetVersion(0x10000);
  p.GetBuildInfoStr(s, "Jan  1 2025", "12:34:56");
  EXPECT_STREQ(s.Get(), "v1.0.0 VST3 (x86-64), built on Jan  1 2025 at 12:34 ");
  p.SetAPI(kAPIAUv3);
  EXPECT_STREQ(p.GetAPIStr(), "AUv3");
  p.SetAPI(static_cast<EAPI>(99));
  EXPECT_STREQ(p.GetAPIStr(), "");

  EXPECT_EQ(p.GetHost(), kHostUninit);
  EXPECT_EQ(p.GetHostVersion(false), 0);
  p.SetHost("WaveLab Elements 11", 0x020100);
  EXPECT_EQ(p.GetHost(), kHostWaveLabElements);
  EXPECT_EQ(p.GetHostVersion(true), 20100);
  p.GetHostVersionStr(s);
  EXPECT_STREQ(s.Get(), "v2.1.0");
}

TEST(IPluginBase, PresetFilesRoundTripByteForByte)
{
  StateTestPlugin a(2);
  Scramble(a, 0.45);
  a.RestorePreset(0);
  a.ModifyCurrentPreset("My Sound");

  IByteChunk fxp;
  a.MakePresetFXP(fxp);
  ASSERT_EQ(fxp.Size(), 60 + 8 + 260);
  const uint8_t header[] = {'C', 'c', 'n', 'K', 0,   0, 1, 0x48, 'F',  'P', 'C', 'h', 0,  0,   0,
                            1,   'B', 'R', 'V', '1', 0, 0, 0x27, 0x10, 0,   0,   0,   31, 'M', 'y'};
  EXPECT_EQ(std::vector<uint8_t>(fxp.GetData(), fxp.GetData() + sizeof(header)),
            std::vector<uint8_t>(header, header + sizeof(header)));
  EXPECT_EQ(fxp.GetData()[58], 1); // chunk size 268
  EXPECT_EQ(fxp.GetData()[59], 12);
  EXPECT_EQ(fxp.GetData()[60], 0x74); // version header

  const std::string path = TempPath("preset.fxp");
  ASSERT_TRUE(a.SavePresetAsFXP(path.c_str()));
  StateTestPlugin b(2);
  ASSERT_TRUE(b.LoadPresetFromFXP(path.c_str()));
  EXPECT_EQ(Values(b), Values(a));
  EXPECT_EQ(b.presetChanges, 1);
  IByteChunk fxp2;
  b.MakePresetFXP(fxp2);
  // The name differs: an empty slot takes a user preset name when it is restored.
  EXPECT_EQ(std::vector<uint8_t>(fxp2.GetData() + 56, fxp2.GetData() + fxp2.Size()),
            std::vector<uint8_t>(fxp.GetData() + 56, fxp.GetData() + fxp.Size()));

  const std::string bankPath = TempPath("bank.fxb");
  ASSERT_TRUE(a.SaveBankAsFXB(bankPath.c_str()));
  StateTestPlugin c(2);
  ASSERT_TRUE(c.LoadBankFromFXB(bankPath.c_str()));
  IByteChunk fxbA, fxbC;
  a.MakeBankFXB(fxbA);
  c.MakeBankFXB(fxbC);
  EXPECT_EQ(Bytes(fxbC), Bytes(fxbA));
  EXPECT_STREQ(c.GetPresetName(0), "My Sound");
  std::remove(path.c_str());
  std::remove(bankPath.c_str());

  EXPECT_FALSE(a.SavePresetAsFXP(nullptr));
  EXPECT_FALSE(a.SavePresetAsFXP(""));
  EXPECT_FALSE(a.LoadBankFromFXB("/nonexistent/dir/bank.fxb"));
  EXPECT_FALSE(a.SaveBankAsFXB("/nonexistent/dir/bank.fxb"));
}

TEST(IPluginBase, PresetFilesWithoutStateChunks)
{
  StateTestPlugin a(2, false);
  Scramble(a, 0.25);
  IByteChunk fxp;
  a.MakePresetFXP(fxp);
  ASSERT_EQ(fxp.Size(), 56 + 4 * 31);
  EXPECT_EQ(Bytes(fxp)[8], 'F');
  EXPECT_EQ(Bytes(fxp)[10], 'C');
  EXPECT_EQ(Bytes(fxp)[7], 0); // size field 0

  StateTestPlugin b(2, false);
  ASSERT_TRUE(b.LoadPresetFromFXP(fxp.GetData(), fxp.Size()));
  for (int i = 0; i < b.NParams(); ++i)
    EXPECT_NEAR(b.GetParam(i)->GetNormalized(), a.GetParam(i)->GetNormalized(), 1e-6) << i;
  IByteChunk fxp2;
  b.MakePresetFXP(fxp2);
  EXPECT_EQ(std::vector<uint8_t>(fxp2.GetData() + 56, fxp2.GetData() + fxp2.Size()),
            std::vector<uint8_t>(fxp.GetData() + 56, fxp.GetData() + fxp.Size()));

  // Banks of "FxCk" records: each preset's values come back through their parameters.
  IPluginBase simple(2, 2);
  simple.GetParam(0)->InitDouble("x", 0, 0, 10, 0.5);
  simple.GetParam(1)->InitInt("y", 0, 0, 4);
  simple.MakePreset("first", 2.5, 3);
  simple.MakePreset("second", 10.0, 1);
  IByteChunk fxb;
  simple.MakeBankFXB(fxb);
  ASSERT_EQ(fxb.Size(), 156 + 2 * (56 + 8));
  IPluginBase other(2, 2);
  other.GetParam(0)->InitDouble("x", 0, 0, 10, 0.5);
  other.GetParam(1)->InitInt("y", 0, 0, 4);
  ASSERT_TRUE(other.LoadBankFromFXB(fxb.GetData(), fxb.Size()));
  EXPECT_STREQ(other.GetPresetName(1), "second");
  EXPECT_EQ(other.GetParam(0)->Value(), 2.5); // current preset 0 restored
  EXPECT_EQ(other.GetParam(1)->Value(), 3.0);
  IByteChunk fxb2;
  other.MakeBankFXB(fxb2);
  EXPECT_EQ(Bytes(fxb2), Bytes(fxb));
}

TEST(IPluginBase, HostilePresetFiles)
{
  StateTestPlugin a(1);
  Scramble(a, 0.8);
  IByteChunk fxp, fxb;
  a.MakePresetFXP(fxp);
  a.MakeBankFXB(fxb);

  StateTestPlugin b(1);
  Scramble(b, 0.33);
  const std::vector<double> before = Values(b);
  IByteChunk stateBefore;
  b.SerializeState(stateBefore);

  // Every truncation: false, parameters untouched.
  for (int n = 0; n < fxp.Size(); ++n)
  {
    ASSERT_FALSE(b.LoadPresetFromFXP(fxp.GetData(), n)) << n;
    ASSERT_EQ(Values(b), before) << n;
  }
  for (int n = 0; n < fxb.Size(); ++n)
  {
    ASSERT_FALSE(b.LoadBankFromFXB(fxb.GetData(), n)) << n;
    ASSERT_EQ(Values(b), before) << n;
  }
  IByteChunk stateAfter;
  b.SerializeState(stateAfter);
  EXPECT_EQ(Bytes(stateAfter), Bytes(stateBefore));
  EXPECT_STREQ(b.GetPresetName(0), "empty");

  // A foreign plug-in, a wrong format version, an unknown kind.
  auto patched = [](const IByteChunk& c, int offset, std::vector<uint8_t> bytes)
  {
    IByteChunk out;
    out.PutBytes(c.GetData(), c.Size());
    std::memcpy(out.GetData() + offset, bytes.data(), bytes.size());
    return out;
  };
  IByteChunk foreign = patched(fxp, 16, {'X', 'X', 'X', 'X'});
  EXPECT_FALSE(b.LoadPresetFromFXP(foreign.GetData(), foreign.Size()));
  IByteChunk version2 = patched(fxp, 12, {0, 0, 0, 2});
  EXPECT_FALSE(b.LoadPresetFromFXP(version2.GetData(), version2.Size()));
  IByteChunk unknownKind = patched(fxp, 8, {'F', 'x', 'Z', 'Z'});
  EXPECT_FALSE(b.LoadPresetFromFXP(unknownKind.GetData(), unknownKind.Size()));
  EXPECT_FALSE(b.LoadPresetFromFXP(nullptr, 100));
  EXPECT_FALSE(b.LoadPresetFromFXP(fxp.GetData(), -5));
  EXPECT_EQ(Values(b), before);

  // Extra bytes after a correct file are ignored.
  IByteChunk longer;
  longer.PutChunk(&fxp);
  longer.PutBytes("junkjunk", 8);
  EXPECT_TRUE(b.LoadPresetFromFXP(longer.GetData(), longer.Size()));
  EXPECT_EQ(Values(b), Values(a));

  // The chunk size fields are not what the state is read by: whatever they say, the state that is there loads.
  StateTestPlugin e(1);
  Scramble(e, 0.6);
  e.RestorePreset(0);
  IByteChunk fxbFull;
  e.MakeBankFXB(fxbFull);
  for (auto bytes : {std::vector<uint8_t>{0x7f, 0xff, 0xff, 0xff}, std::vector<uint8_t>{0xff, 0xff, 0xff, 0xf0},
                     std::vector<uint8_t>{0, 0, 0x01, 0x0b}, std::vector<uint8_t>{0, 0, 0, 0}})
  {
    StateTestPlugin c(1);
    IByteChunk odd = patched(fxp, 56, bytes);
    EXPECT_TRUE(c.LoadPresetFromFXP(odd.GetData(), odd.Size()));
    EXPECT_EQ(Values(c), Values(a));
    StateTestPlugin d(1);
    odd = patched(fxbFull, 156, bytes);
    EXPECT_TRUE(d.LoadBankFromFXB(odd.GetData(), odd.Size()));
    EXPECT_EQ(Values(d), Values(e));
  }

  // "FxBk" banks: a record with a wrong tag is refused; a current index the plug-in lacks restores nothing.
  StateTestPlugin plain(1, false);
  IByteChunk fxbPlain;
  plain.MakePresetFromChunk("x", IByteChunk());
  plain.MakeBankFXB(fxbPlain);
  IByteChunk badRecord = patched(fxbPlain, 156 + 8, {'F', 'x', 'C', 'Z'});
  EXPECT_FALSE(plain.LoadBankFromFXB(badRecord.GetData(), badRecord.Size()));
  const int modified = plain.presetsModified;
  IByteChunk otherIdx = patched(fxbPlain, 28, {0, 0, 0, 1});
  EXPECT_TRUE(plain.LoadBankFromFXB(otherIdx.GetData(), otherIdx.Size()));
  EXPECT_EQ(plain.presetsModified, modified);
  EXPECT_EQ(plain.GetCurrentPresetIdx(), 0);
  EXPECT_TRUE(plain.LoadBankFromFXB(fxbPlain.GetData(), fxbPlain.Size()));
}

TEST(IPluginBase, SourceDumps)
{
  IPluginBase p(3, 1);
  p.GetParam(0)->InitBool("b", true);
  p.GetParam(1)->InitEnum("e", 2, 3);
  p.GetParam(2)->InitDouble("d", 0.25, 0, 1, 0.01);
  p.MakePresetFromChunk("Init", IByteChunk());
  const std::string path = TempPath("dump.txt");
  std::remove(path.c_str());
  p.DumpMakePresetSrc(path.c_str());
  const char* names[] = {"kB", "kE", "kD"};
  p.DumpMakePresetFromNamedParamsSrc(path.c_str(), names);
  EXPECT_EQ(ReadText(path),
            "MakePreset(\"Init\", true, 2, 0.250000);\n"
            "  MakePresetFromNamedParams(\"Init\", 3,\n    kB, true,\n    kE, 2,\n    kD, 0.250000);\n");
  std::remove(path.c_str());

  IPluginBase blob(0, 1);
  blob.MakePresetFromBlob("B", "AQIDBA==", 4);
  blob.DumpPresetBlob(path.c_str());
  EXPECT_EQ(ReadText(path), "MakePresetFromBlob(\"B\", \"AQIDBA==\", 4);\n");
  std::remove(path.c_str());

  // A chunk past the old 1533-byte limit is written in full and decodes back.
  IPluginBase big(0, 2);
  IByteChunk chunk;
  for (int i = 0; i < 3000; ++i)
  {
    const uint8_t b = static_cast<uint8_t>(i * 7);
    chunk.Put(&b);
  }
  big.MakePresetFromChunk("Big", chunk);
  big.DumpPresetBlob(path.c_str());
  const std::string text = ReadText(path);
  const size_t open = text.find(", \"") + 3;
  const std::string encoded = text.substr(open, text.find('"', open) - open);
  big.MakePresetFromBlob("Back", encoded.c_str(), 3000);
  EXPECT_TRUE(big.GetPreset(1)->mChunk.IsEqual(chunk));
  std::remove(path.c_str());
}

TEST(IPluginBase, RangeOperations)
{
  IPluginBase p(8, 0);
  p.InitParamRange(0, 3, 1, "Band %d Gain", 0, -12, 12, 0.5, "dB", 0, "A");
  EXPECT_STREQ(p.GetParam(0)->GetName(), "Band 1 Gain");
  EXPECT_STREQ(p.GetParam(3)->GetName(), "Band 4 Gain");
  p.InitParamRange(6, 100, 0, "Tail %d", 1, 0, 2, 1); // stops at the table's end
  EXPECT_STREQ(p.GetParam(7)->GetName(), "Tail 1");

  p.GetParam(1)->Set(6);
  p.CloneParamRange(0, 1, 4, "Band", "Copy", "B");
  EXPECT_STREQ(p.GetParam(5)->GetName(), "Copy 2 Gain");
  EXPECT_STREQ(p.GetParam(5)->GetGroup(), "B");
  EXPECT_EQ(p.GetParam(5)->Value(), 6.0);

  p.GetParam(0)->Set(-3);
  p.CopyParamValues("A", "B"); // B has fewer members than A
  EXPECT_EQ(p.GetParam(4)->Value(), -3.0);
  EXPECT_EQ(p.GetParam(5)->Value(), 6.0);

  p.CopyParamValues(0, 1, 0);
  p.CopyParamValues(0, 1, -4);
  EXPECT_EQ(p.GetParam(1)->Value(), 6.0);
  p.CopyParamValues(0, 6, 5);             // only the pairs inside the table
  EXPECT_EQ(p.GetParam(6)->Value(), 0.0); // -3 clamped to Tail's range
  p.CopyParamValues(-2, 0, 3);            // source -2, -1 skipped; 0 -> 2
  EXPECT_EQ(p.GetParam(2)->Value(), -3.0);

  std::vector<int> seen;
  p.ForParamInRange(-5, 2, [&](int i, IParam&) { seen.push_back(i); });
  p.ForParamInGroup("B", [&](int i, IParam&) { seen.push_back(i); });
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 4, 5}));
  p.ForParamInRange(0, INT_MAX, [&](int i, IParam&) { seen.push_back(i); });
  EXPECT_EQ(seen.size(), 13u);

  p.DefaultParamValues("B");
  EXPECT_EQ(p.GetParam(5)->Value(), 0.0);
  EXPECT_EQ(p.GetParam(1)->Value(), 6.0);
  p.DefaultParamValues(1, 1);
  EXPECT_EQ(p.GetParam(1)->Value(), 0.0);
  p.GetParam(7)->Set(2);
  p.DefaultParamValues();
  EXPECT_EQ(p.GetParam(7)->Value(), 1.0);

  std::srand(1);
  p.RandomiseParamValues();
  p.RandomiseParamValues("A");
  p.RandomiseParamValues(6, 7);
  for (int i = 0; i < p.NParams(); ++i)
  {
    double lo, hi;
    p.GetParam(i)->GetBounds(lo, hi);
    EXPECT_GE(p.GetParam(i)->Value(), lo);
    EXPECT_LE(p.GetParam(i)->Value(), hi);
  }
  p.PrintParamValues();
}
