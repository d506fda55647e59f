// Decoding ahead the payloads that a phase's CopyFile lines copy.
#ifndef COMMANDS_COPY_LOOKAHEAD_H_
#define COMMANDS_COPY_LOOKAHEAD_H_

namespace engine {

// Installs the phase observer that, when a phase starts, hands the payloads
// its CopyFile lines name to the archive's look-ahead, and stops the
// look-ahead when the phase ends.
void RegisterCopyLookahead();

}  // namespace engine

#endif  // COMMANDS_COPY_LOOKAHEAD_H_
