// The program's commands. Each takes the arguments after its name and gives
// the exit status: 0 done, 1 a negative finding (check: invalid; doctor: the
// menu would be empty), 2 a usage error.
#pragma once

#include <span>
#include <string>

namespace ferlo::cli {

int runInfoCommand(std::span<const std::string> args);
int runMenuCommand(std::span<const std::string> args);
int runClickCommand(std::span<const std::string> args);
int runSendCommand(std::span<const std::string> args);
int runCheckCommand(std::span<const std::string> args);
int runDoctorCommand(std::span<const std::string> args);
int runDemoCommand(std::span<const std::string> args);

}  // namespace ferlo::cli
