// The brevant-host command line: "info" and "render". Kept apart from main so tests can run it in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace brevant::host
{

// args without the program name. Returns the exit status: 0 success, 1 failure, 2 usage error.
int RunHost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

void PrintUsage(std::ostream& os);

} // namespace brevant::host
