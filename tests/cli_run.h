// Runs peelbox-cli as a script would, with its output and exit status.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/helpers.h"

namespace peelbox::test {

struct CliOutput {
  int status = -1;
  std::string out;
  std::string err;
};

// Quoted for the shell, so that names with spaces and quotes pass whole.
inline std::string ShellQuoted(const std::string& argument) {
  std::string quoted = "'";
  for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline CliOutput RunCli(const std::vector<std::string>& arguments) {
  TempDir dir;
  std::string command = ShellQuoted(PEELBOX_CLI);
  for (const std::string& argument : arguments) command += " " + ShellQuoted(argument);
  command += " >" + ShellQuoted((dir.path() / "out").string()) + " 2>" + ShellQuoted((dir.path() / "err").string()) +
             " </dev/null";
  CliOutput output;
  const int status = std::system(command.c_str());
  output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const auto out = ReadAll(dir.path() / "out");
  const auto err = ReadAll(dir.path() / "err");
  output.out.assign(out.begin(), out.end());
  output.err.assign(err.begin(), err.end());
  return output;
}

}  // namespace peelbox::test
