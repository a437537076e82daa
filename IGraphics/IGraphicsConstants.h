#pragma once
// Enumerations and constants shared by the graphics layer.

#include <cstdint>

namespace iplug::igraphics
{

static constexpr int kDefaultFPS = 60;
static constexpr float kDefaultTextSize = 14.f;
static constexpr const char* kDefaultFontID = "Roboto-Regular";
static constexpr int kMaxFontIDLength = 64;
/** Blend weight a control draws with while it is disabled. */
static constexpr float kDisabledBlendWeight = 0.25f;
/** Number of frame-time samples the frame-time display keeps. */
static constexpr int kFrameTimeSamples = 100;
/** Dirty rectangles are padded so that one-pixel outlines on a control's edge are redrawn. */
static constexpr float kDirtyPadding = 0.75f;
static constexpr int kMaxMenuItemLength = 128;
/** Screen scales a real display can have; a host's factor outside them is taken as the nearest. */
static constexpr float kMinScreenScale = 0.5f;
static constexpr float kMaxScreenScale = 4.f;
/** Window systems keep sizes in signed 16 bits. */
static constexpr int kDefaultMaxWindowPixels = 32767;

/** Composite operation used when drawing. */
enum class EBlend : int
{
  kSrcOver = 0,
  kDefault = kSrcOver,
  kSrcIn,
  kSrcOut,
  kSrcAtop,
  kDstOver,
  kDstIn,
  kDstOut,
  kDstAtop,
  kAdd,
  kXOR
};

/** Horizontal text alignment. */
enum class EAlign : int
{
  kNear = 0,
  kCenter,
  kFar
};

/** Vertical text alignment. */
enum class EVAlign : int
{
  kTop = 0,
  kMiddle,
  kBottom
};

/** Mouse cursor shapes; the platform maps each to a system cursor. */
enum class ECursor : int
{
  kArrow = 0,
  kText,
  kWait,
  kCross,
  kUpArrow,
  kSizeNWSE,
  kSizeNESW,
  kSizeWE,
  kSizeNS,
  kMove,
  kNotAllowed,
  kHand,
  kBusy,
  kHelp
};

/** What dragging the corner resizer changes. */
enum class EUIResizerMode : int
{
  Scale = 0, // the draw scale; the logical size stays fixed
  Size = 1   // the logical size; the draw scale stays fixed
};

enum class EDirection : int
{
  kVertical = 0,
  kHorizontal = 1
};

enum class EUIAppearance : int
{
  kLight = 0,
  kDark = 1
};

/** Where a resource search found its file. */
enum EResourceLocation : int
{
  kNotFound = 0,
  kAbsolutePath = 1,
  kWinBinary = 2,
  kPreloadedTexture = 3
};

enum class ETextStyle : int
{
  kNormal = 0,
  kBold,
  kItalic
};

enum class ELineCap : int
{
  kButt = 0,
  kRound,
  kSquare
};

enum class ELineJoin : int
{
  kMiter = 0,
  kRound,
  kBevel
};

enum class EFillRule : int
{
  kWinding = 0,
  kEvenOdd
};

enum class EWinding : int
{
  kCW = 0,
  kCCW
};

enum class EPatternType : int
{
  kSolid = 0,
  kLinear,
  kRadial,
  kSweep
};

enum class EPatternExtend : int
{
  kNone = 0,
  kPad,
  kReflect,
  kRepeat
};

enum class EMsgBoxType : int
{
  kOK = 0,
  kOKCancel,
  kYesNoCancel,
  kYesNo,
  kRetryCancel
};

enum class EMsgBoxResult : int
{
  kNoResult = 0,
  kOK,
  kCancel,
  kAbort,
  kRetry,
  kIgnore,
  kYes,
  kNo
};

enum class EFileAction : int
{
  kOpen = 0,
  kSave
};

/** Touch gestures; none are recognised by this editor. */
enum class EGestureType : int
{
  kUnknown = 0,
  kDoubleTap,
  kTripleTap,
  kLongPress1,
  kLongPress2,
  kSwipeLeft,
  kSwipeRight,
  kSwipeUp,
  kSwipeDown,
  kPinch,
  kRotate
};

/** Virtual key codes used by the framework (Windows-style numbering). */
enum EVirtualKey : int
{
  kVK_NONE = 0,
  kVK_BACK = 0x08,
  kVK_TAB = 0x09,
  kVK_RETURN = 0x0D,
  kVK_SHIFT = 0x10,
  kVK_CONTROL = 0x11,
  kVK_MENU = 0x12,
  kVK_ESCAPE = 0x1B,
  kVK_SPACE = 0x20,
  kVK_PRIOR = 0x21,
  kVK_NEXT = 0x22,
  kVK_END = 0x23,
  kVK_HOME = 0x24,
  kVK_LEFT = 0x25,
  kVK_UP = 0x26,
  kVK_RIGHT = 0x27,
  kVK_DOWN = 0x28,
  kVK_INSERT = 0x2D,
  kVK_DELETE = 0x2E,
  kVK_HELP = 0x2F,
  kVK_0 = 0x30,
  kVK_9 = 0x39,
  kVK_A = 0x41,
  kVK_C = 0x43,
  kVK_V = 0x56,
  kVK_X = 0x58,
  kVK_Z = 0x5A,
  kVK_NUMPAD0 = 0x60,
  kVK_NUMPAD9 = 0x69,
  kVK_MULTIPLY = 0x6A,
  kVK_ADD = 0x6B,
  kVK_SEPARATOR = 0x6C,
  kVK_SUBTRACT = 0x6D,
  kVK_DECIMAL = 0x6E,
  kVK_DIVIDE = 0x6F,
  kVK_F1 = 0x70,
  kVK_F12 = 0x7B,
  kVK_F24 = 0x87,
  kVK_NUMLOCK = 0x90,
  kVK_KEYPAD_ENTER = 0x800D
};

} // namespace iplug::igraphics
