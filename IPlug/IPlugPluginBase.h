#pragma once
// The API-independent plug-in base: identity, state chunks, presets, preset files and operations over
// ranges of the parameter table. The API base derives from it and fills the identity from the Config.

#include "IGraphicsEditorDelegate.h"
#include "IPlugByteChunk.h"
#include "IPlugConfig.h"
#include "IPlugConstants.h"
#include "IPlugHost.h"
#include "IPlugParameter.h"

#include <cstdint>
#include <functional>

namespace iplug
{

class IPluginBase : public igraphics::IGEditorDelegate
{
public:
  using ParamFunc = std::function<void(int paramIdx, IParam& param)>;

  IPluginBase(int nParams, int nPresets);
  ~IPluginBase() override;

  // --- identity ---
  const char* GetPluginName() const { return mPluginName.Get(); }
  const char* GetProductName() const { return mProductName.Get(); }
  const char* GetMfrName() const { return mMfrName.Get(); }
  const char* GetBundleID() const { return mBundleID.Get(); }
  int GetUniqueID() const { return mUniqueID; }
  int GetMfrID() const { return mMfrID; }
  /** Packed major·65536 + minor·256 + patch, or major·10000 + minor·100 + patch when decimal. */
  int GetPluginVersion(bool decimal) const;
  /** "v1.0.0" */
  void GetPluginVersionStr(WDL_String& str) const;
  EAPI GetAPI() const { return mAPI; }
  const char* GetAPIStr() const;
  const char* GetArchStr() const { return "x86-64"; }
  /** "<version> <API> (<arch>), built on <date> at <hh:mm> " */
  void GetBuildInfoStr(WDL_String& str, const char* date, const char* time) const;
  bool DoesStateChunks() const { return mStateChunks; }

  // --- host identity ---
  /** Identifies the host by its name (case-insensitive) and stores its version. The API base adds the
   * host-specific hooks on top. */
  void SetHost(const char* name, int version);
  /** Host identity, kHostUninit (-1) until identified. */
  EHost GetHost() const { return mHost; }
  int GetHostVersion(bool decimal) const;
  void GetHostVersionStr(WDL_String& str) const;

  // --- state ---
  /** Appends every parameter's value as a double, in index order. */
  bool SerializeParams(IByteChunk& chunk) const;
  /** Sets parameters from doubles at startPos, then announces them with OnParamReset(kPresetRecall).
   * Returns the position after the last value, or -1 when the values ran out. */
  int UnserializeParams(const IByteChunk& chunk, int startPos);

  virtual void InformHostOfParameterDetailsChange() {}
  virtual bool SerializeState(IByteChunk& chunk) const { return SerializeParams(chunk); }
  /** Must consume exactly what SerializeState wrote: banks concatenate states without lengths. */
  virtual int UnserializeState(const IByteChunk& chunk, int startPos) { return UnserializeParams(chunk, startPos); }
  virtual bool SerializeVST3CtrlrState(IByteChunk&) const { return true; }
  virtual int UnserializeVST3CtrlrState(const IByteChunk&, int startPos) { return startPos; }
  virtual void InformHostOfPresetChange() {}
  virtual void OnPresetsModified() {}

  // --- presets ---
  int NPresets() const { return mPresets.GetSize(); }
  int GetCurrentPresetIdx() const { return mCurrentPresetIdx; }
  /** The preset's name, or "" for an index out of range. */
  const char* GetPresetName(int idx) const;
  /** The preset record, or null for an index out of range. */
  const IPreset* GetPreset(int idx) const { return mPresets.Get(idx); }

  void MakeDefaultPreset(const char* name = nullptr, int nPresets = 1);
  void EnsureDefaultPreset();
  /** One value per parameter: int for bool, int and enum parameters, double for the others. */
  bool MakePreset(const char* name, ...);
  /** nParamsNamed pairs of (int index, value), the value typed as for MakePreset. Reading stops at the first
   * index out of range, since the type of its value cannot be known. */
  bool MakePresetFromNamedParams(const char* name, int nParamsNamed, ...);
  bool MakePresetFromChunk(const char* name, const IByteChunk& chunk);
  /** blob is Base64 text decoding to sizeOfChunk bytes (zero-filled where the text stops early). */
  bool MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk);
  void PruneUninitializedPresets();
  bool RestorePreset(int idx);
  bool RestorePreset(const char* name);
  void ModifyCurrentPreset(const char* name = nullptr);
  bool SerializePresets(IByteChunk& chunk) const;
  int UnserializePresets(const IByteChunk& chunk, int startPos);

  // --- source dumps (developer aids; append to the file) ---
  void DumpMakePresetSrc(const char* file) const;
  void DumpMakePresetFromNamedParamsSrc(const char* file, const char** paramEnumNames) const;
  void DumpPresetBlob(const char* file) const;

  // --- preset files ---
  bool SavePresetAsFXP(const char* file) const;
  bool SaveBankAsFXB(const char* file) const;
  bool LoadPresetFromFXP(const char* file);
  bool LoadBankFromFXB(const char* file);
  /** The same formats in memory. */
  void MakePresetFXP(IByteChunk& out) const;
  void MakeBankFXB(IByteChunk& out) const;
  bool LoadPresetFromFXP(const uint8_t* data, int size);
  bool LoadBankFromFXB(const uint8_t* data, int size);

  // --- operations over parts of the parameter table (neither host nor editor is told) ---
  void InitParamRange(int startIdx, int endIdx, int countStart, const char* nameFmt, double defaultVal, double minVal,
                      double maxVal, double step, const char* label = "", int flags = 0, const char* group = "",
                      const IParam::Shape& shape = IParam::ShapeLinear{}, IParam::EParamUnit unit = IParam::kUnitCustom,
                      IParam::DisplayFunc displayFunc = nullptr);
  void CloneParamRange(int cloneStartIdx, int cloneEndIdx, int startIdx, const char* searchStr = "",
                       const char* replaceStr = "", const char* newGroup = "");
  void CopyParamValues(int startSrcIdx, int startDestIdx, int nParams);
  /** Copies the values of inGroup's parameters onto outGroup's, pairing them in index order. */
  void CopyParamValues(const char* inGroup, const char* outGroup);
  void ForParamInRange(int startIdx, int endIdx, const ParamFunc& func);
  void ForParamInGroup(const char* group, const ParamFunc& func);
  void DefaultParamValues();
  void DefaultParamValues(int startIdx, int endIdx);
  void DefaultParamValues(const char* group);
  void RandomiseParamValues();
  void RandomiseParamValues(int startIdx, int endIdx);
  void RandomiseParamValues(const char* group);
  void PrintParamValues();

protected:
  // Identity, copied from the Config by the API base.
  int mUniqueID = 0;
  int mMfrID = 0;
  int mVersion = 0;
  WDL_String mPluginName;
  WDL_String mProductName;
  WDL_String mMfrName;
  WDL_String mBundleID;
  EAPI mAPI = kAPIVST3;
  bool mStateChunks = false;

  EHost mHost = kHostUninit;
  int mHostVersion = 0;

  WDL_PtrList<IPreset> mPresets; // owns its entries
  int mCurrentPresetIdx = 0;

private:
  IPreset* FirstFreePreset() const;
  void SetPresetName(IPreset& preset, const char* name) const;
  /** Appends the value text used by the source dumps. */
  void AppendValueSrc(WDL_String& text, int paramIdx) const;
  /** Calls func(source k, destination k) for k in [0, count) where both indices are in the table. */
  void ForParamPairs(int srcIdx, int dstIdx, int64_t count, const std::function<void(IParam&, IParam&)>& func);
  /** One "FxCk" record: the name and one normalized float per parameter. */
  void PutFxCkRecord(IByteChunk& out, const char* name, const IByteChunk* values) const;
};

} // namespace iplug
