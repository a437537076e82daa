// Interface IDs of the editor-view interfaces. The packaged SDK subset declares them but defines them nowhere,
// so any module using the SDK's view classes would fail to link or load. Compiled into vst3sdk when the SDK lacks
// its own definitions (see cmake/Dependencies.cmake).
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

namespace Steinberg
{

DEF_CLASS_IID(IPlugView)
DEF_CLASS_IID(IPlugFrame)
DEF_CLASS_IID(IPlugViewContentScaleSupport)

namespace Linux
{
DEF_CLASS_IID(IEventHandler)
DEF_CLASS_IID(ITimerHandler)
DEF_CLASS_IID(IRunLoop)
} // namespace Linux

} // namespace Steinberg
