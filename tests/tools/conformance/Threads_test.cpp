// Instances on threads of their own, as a DAW runs tracks in parallel: each gives exactly what it gives alone.

#include "Conformance.h"

#include <thread>

using namespace conformance;

namespace
{
// Renders the test signal through an instance with the given parameter values; returns output bus 0 interleaved.
std::vector<double> RenderAlone(Instance& plug, double setting, int blocks)
{
  std::vector<double> out;
  if (plug.Setup(kSample64, 128, 48000.0) != kResultOk || !plug.Start())
    return out;
  Block<double> block(plug, 128);
  ParameterChanges changes;
  for (int b = 0; b < blocks; b++)
  {
    block.Signal(b * 128);
    ProcessData& data = block.Data(128);
    changes.Clear();
    if (b == 0)
    {
      for (ParamID id = 0; id < 20; id++)
        changes.Add(id, 0, setting);
      data.inputParameterChanges = &changes;
    }
    if (plug.processor->process(data) != kResultOk)
      return {};
    for (int i = 0; i < 128; i++)
      for (const auto& ch : block.out.data[0])
        out.push_back(ch[static_cast<size_t>(i)]);
  }
  plug.Stop();
  return out;
}
} // namespace

TEST(ConformanceThreads, InstancesProcessingInParallelShareNothing)
{
  const double settings[3] = {0.2, 0.5, 0.9};
  std::vector<double> alone[3];
  for (int k = 0; k < 3; k++)
  {
    Instance plug;
    alone[k] = RenderAlone(plug, settings[k], 60);
    ASSERT_FALSE(alone[k].empty());
  }

  // Created, set up and run on the main thread's behalf elsewhere; processed at the same time.
  Instance plugs[3];
  std::vector<double> parallel[3];
  std::vector<std::thread> threads;
  for (int k = 0; k < 3; k++)
    threads.emplace_back([&, k] { parallel[k] = RenderAlone(plugs[k], settings[k], 60); });
  for (auto& t : threads)
    t.join();
  for (int k = 0; k < 3; k++)
    EXPECT_EQ(parallel[k], alone[k]) << "instance " << k;
}
