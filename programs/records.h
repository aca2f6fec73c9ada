// Turns a batch of input records into output lines (through the library's
// assets_from_* exports) and reject lines.
#pragma once

#include <string>

#include <korvi/key.h>

#include "mapping.h"
#include "readers.h"

namespace korvi_cli {

struct RecordContext {
  Mapping mapping;
  std::string record_type;
  bool csv = true;
  size_t header_columns = 0;  // CSV: fields every row must have
  char delimiter = ',';
  const korvi_key* key = nullptr;  // keyed fingerprints when set
  std::string key_id;
};

// The first line of a rejects file.
extern const char kRejectsHeader[];

// Fills batch.out, batch.rejects, batch.written and batch.rejected. Safe to
// call from many threads on different batches. Throws std::bad_alloc when
// memory runs out.
void process_batch(Batch& batch, const RecordContext& context);

}  // namespace korvi_cli
