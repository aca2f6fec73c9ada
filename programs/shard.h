// Sharded runs: --shard I/N processes the I-th of N contiguous parts of the
// input, so that N independent jobs write the one-job output between them.
#pragma once

#include <cstdint>
#include <string>

#include "readers.h"

namespace korvi_cli {

struct Shard {
  uint64_t index = 1, count = 1;  // I and N, 1 <= I <= N
};

// "I/N" with 1 <= I <= N < 2^32. Throws UsageError otherwise.
Shard parse_shard(const std::string& text);

// Records numbered first..last (from 1) make up a shard; empty when last < first.
struct RecordRange {
  uint64_t first = 1, last = 0;
};

// Shard I of N holds records floor(T*(I-1)/N)+1 .. floor(T*I/N) of the T
// records of the input, so that sizes differ by one record at most.
RecordRange shard_range(const Shard& shard, uint64_t records);

// Number of records a reader yields to the end of its input (the first
// pass of a sharded run: parsing only, nothing fingerprinted).
uint64_t count_records(Reader& reader);

// Drops the rows of a batch outside the range. False once the batch starts
// past the end of the range, so that reading can stop.
bool keep_range(Batch& batch, const RecordRange& range);

}  // namespace korvi_cli
