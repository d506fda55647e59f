// The dispack command line.
#ifndef PACKER_CLI_H_
#define PACKER_CLI_H_

namespace packer {

// Runs one dispack command. Returns the process exit code: 0 success,
// 1 a failure (one line on stderr naming the file and the problem),
// 2 a usage error.
int RunDispack(int argc, char** argv);

}  // namespace packer

#endif  // PACKER_CLI_H_
