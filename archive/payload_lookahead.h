// Payloads decoded ahead of the commands that copy them.
//
// Every payload is an archive of its own with its own cipher keys, so
// payloads can be decrypted and inflated side by side although each one's
// cipher is serial. When a phase starts, the command layer hands over the
// payload names that the phase's copies name, in script order; worker threads
// decode them into memory in that order. The extraction of a payload to a file
// (ExtractPayload) then takes the decoded bytes, waits for a decode in
// progress, or decodes the payload itself when nothing has started on it.
//
// The look-ahead only ever produces memory: it writes no file, and a payload
// that fails to decode here is simply decoded again by its own command, which
// then fails exactly as it would have without the look-ahead.
//
// One look-ahead exists per process. Start and Stop are called by the thread
// that runs the phase; TakeDecodedPayload by the extraction in that thread.
#ifndef ARCHIVE_PAYLOAD_LOOKAHEAD_H_
#define ARCHIVE_PAYLOAD_LOOKAHEAD_H_

#include <cstdint>

namespace archive {

// Memory held ahead at once: ready payloads, and for decodes in progress
// their output and their decrypted input (besides up to 16 MB of idle
// blocks kept for reuse). A payload whose decode needs more than this (its
// uncompressed plus its stored size) is left to its command.
inline constexpr uint32_t kLookaheadMemoryBound = 64u << 20;

// Starts decoding the payloads `names[0..count)` (copied) in this order, on
// one worker thread per processor beyond the first (at least one, at most
// eight), holding at most `memory_bound` decoded bytes. Stops a look-ahead
// that still runs first. Does nothing when `count` is 0; when no thread can
// be started, the commands simply decode their payloads themselves.
void StartPayloadLookahead(const char* const* names, int count, uint32_t memory_bound);

// Stops the look-ahead: its threads are told to stop, joined, and every byte
// it holds is freed before this returns. Does nothing when none runs.
void StopPayloadLookahead();

// For the payload extraction: when the look-ahead was asked for payload
// `name` (any letter case) and has decoded it (waiting for a decode in
// progress), hands over the block of `*size` bytes, owned by the caller from
// then on (ReleaseDecodedPayload). Returns null when the caller must decode the
// payload itself: no look-ahead runs, it was not asked for this name, nothing
// had started on it yet, or its decode failed. Payloads asked for before the
// one taken are dropped: the script has passed their commands.
void* TakeDecodedPayload(const char* name, uint32_t* size);

// Gives back a block from TakeDecodedPayload: it is used again for a later
// payload while the look-ahead runs, and freed otherwise.
void ReleaseDecodedPayload(void* block);

// Diagnostics for tests: the worker threads alive and the decoded bytes held.
int PayloadLookaheadThreadsForTesting();
uint64_t PayloadLookaheadBytesForTesting();

}  // namespace archive

#endif  // ARCHIVE_PAYLOAD_LOOKAHEAD_H_
