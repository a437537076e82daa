#pragma once
// MIDI and system-exclusive message records exchanged between host binding, processor and editor.
// Plain, trivially copyable records: they travel through the lock-free queues by value.

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace iplug
{

/** A short (three-byte) MIDI message stamped with its sample offset in the current block. */
struct IMidiMsg
{
  enum EStatusMsg : uint8_t
  {
    kNone = 0,
    kNoteOff = 8,
    kNoteOn = 9,
    kPolyAftertouch = 10,
    kControlChange = 11,
    kProgramChange = 12,
    kChannelAftertouch = 13,
    kPitchWheel = 14
  };

  int32_t mOffset = 0;
  uint8_t mStatus = 0;
  uint8_t mData1 = 0;
  uint8_t mData2 = 0;

  IMidiMsg() = default;
  IMidiMsg(int offset, uint8_t status, uint8_t data1, uint8_t data2)
      : mOffset(offset), mStatus(status), mData1(data1), mData2(data2)
  {
  }

  /** The message kind from the status byte's upper nibble; kNone for system and non-status bytes. */
  EStatusMsg StatusMsg() const
  {
    const unsigned hi = mStatus >> 4;
    return (hi >= kNoteOff && hi <= kPitchWheel) ? static_cast<EStatusMsg>(hi) : kNone;
  }

  /** MIDI channel 0..15 from the status byte's lower nibble. */
  int Channel() const { return mStatus & 0x0F; }

  int NoteNumber() const
  {
    const EStatusMsg s = StatusMsg();
    return (s == kNoteOn || s == kNoteOff || s == kPolyAftertouch) ? mData1 : -1;
  }

  int Velocity() const
  {
    const EStatusMsg s = StatusMsg();
    return (s == kNoteOn || s == kNoteOff) ? mData2 : -1;
  }

  int ControlChangeIdx() const { return StatusMsg() == kControlChange ? mData1 : -1; }

  /** Controller value as 0..1, or -1 when this is not a control change. */
  double ControlChange() const { return StatusMsg() == kControlChange ? mData2 / 127.0 : -1.0; }

  int Program() const { return StatusMsg() == kProgramChange ? mData1 : -1; }

  /** Pitch bend in -1..+1 (14-bit value, LSB in data 1), 0 when this is not a pitch bend. */
  double PitchWheel() const
  {
    if (StatusMsg() != kPitchWheel)
      return 0.0;
    const int v = ((mData2 & 0x7F) << 7 | (mData1 & 0x7F)) - 8192;
    return v / 8192.0;
  }

  void MakeNoteOnMsg(int noteNumber, int velocity, int offset, int channel = 0)
  {
    Set(offset, kNoteOn, channel, noteNumber, velocity);
  }

  void MakeNoteOffMsg(int noteNumber, int offset, int channel = 0) { Set(offset, kNoteOff, channel, noteNumber, 0); }

  void MakePolyATMsg(int noteNumber, int pressure, int offset, int channel = 0)
  {
    Set(offset, kPolyAftertouch, channel, noteNumber, pressure);
  }

  /** value 0..1 mapped to 0..127. */
  void MakeControlChangeMsg(int controller, double value, int offset, int channel = 0)
  {
    Set(offset, kControlChange, channel, controller, Scale127(value));
  }

  void MakeProgramChange(int program, int offset, int channel = 0) { Set(offset, kProgramChange, channel, program, 0); }

  /** pressure 0..1 mapped to 0..127. */
  void MakeChannelATMsg(double pressure, int offset, int channel = 0)
  {
    Set(offset, kChannelAftertouch, channel, Scale127(pressure), 0);
  }

  /** value -1..+1 mapped to the 14-bit range 0..16383, LSB first. */
  void MakePitchWheelMsg(double value, int offset, int channel = 0)
  {
    int v = 8192 + static_cast<int>(value * 8192.0);
    v = std::clamp(v, 0, 16383);
    mOffset = offset;
    mStatus = static_cast<uint8_t>(kPitchWheel << 4 | (channel & 0x0F));
    mData1 = static_cast<uint8_t>(v & 0x7F);
    mData2 = static_cast<uint8_t>((v >> 7) & 0x7F);
  }

  void Clear() { *this = IMidiMsg{}; }

private:
  static int Scale127(double v) { return static_cast<int>(std::clamp(v, 0.0, 1.0) * 127.0); }

  void Set(int offset, EStatusMsg kind, int channel, int data1, int data2)
  {
    mOffset = offset;
    mStatus = static_cast<uint8_t>(kind << 4 | (channel & 0x0F));
    mData1 = static_cast<uint8_t>(data1 & 0x7F);
    mData2 = static_cast<uint8_t>(data2 & 0x7F);
  }
};

/** A system-exclusive message over bytes owned by someone else (valid for the call only). */
struct ISysEx
{
  int32_t mOffset = 0;
  const uint8_t* mData = nullptr;
  int32_t mSize = 0;

  ISysEx() = default;
  ISysEx(int offset, const uint8_t* data, int size) : mOffset(offset), mData(data), mSize(size) {}

  void Clear() { *this = ISysEx{}; }
};

/** A system-exclusive message with its bytes held inline, so it can be queued between threads. */
struct SysExData
{
  static constexpr int kMaxSize = 512;

  int32_t mOffset = 0;
  int32_t mSize = 0;
  uint8_t mData[kMaxSize] = {};

  SysExData() = default;

  /** Copies at most kMaxSize bytes; a null data pointer gives zero bytes of the (clamped) size. */
  SysExData(int offset, int size, const void* data)
  {
    mOffset = offset;
    mSize = std::clamp(size, 0, kMaxSize);
    if (data && mSize > 0)
      std::memcpy(mData, data, static_cast<size_t>(mSize));
  }
};

/** A parameter index with a value, e.g. a parameter change sent from the processor to the editor. */
struct ParamTuple
{
  int32_t idx = -1;
  double value = 0.0;

  ParamTuple() = default;
  ParamTuple(int paramIdx, double val) : idx(paramIdx), value(val) {}
};

} // namespace iplug
