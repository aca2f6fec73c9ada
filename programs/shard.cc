#include "shard.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "cli.h"

namespace korvi_cli {

namespace {

bool parse_number(std::string_view text, uint64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

Shard parse_shard(const std::string& text) {
  const size_t slash = text.find('/');
  Shard shard;
  if (slash == std::string::npos || !parse_number(std::string_view(text).substr(0, slash), shard.index) ||
      !parse_number(std::string_view(text).substr(slash + 1), shard.count) || shard.index == 0 ||
      shard.index > shard.count || shard.count > UINT32_MAX)
    throw UsageError("--shard \"" + text + "\": give I/N with 1 <= I <= N, such as 2/8");
  return shard;
}

RecordRange shard_range(const Shard& shard, uint64_t records) {
  // T*I/N without the product T*I, which could overflow: with T = qN + r,
  // T*I/N = qI + rI/N, and rI < N*N fits in 64 bits as N < 2^32.
  const uint64_t q = records / shard.count, r = records % shard.count;
  const auto cut = [&](uint64_t i) { return q * i + r * i / shard.count; };
  return {cut(shard.index - 1) + 1, cut(shard.index)};
}

uint64_t count_records(Reader& reader) {
  uint64_t records = 0;
  while (auto batch = reader.next()) {
    records += batch->rows.size();
    reader.recycle(std::move(batch));
  }
  return records;
}

bool keep_range(Batch& batch, const RecordRange& range) {
  if (batch.rows.empty()) return true;
  if (batch.rows.front().number > range.last) return false;
  auto outside = [&](const Row& row) { return row.number < range.first || row.number > range.last; };
  batch.rows.erase(std::remove_if(batch.rows.begin(), batch.rows.end(), outside), batch.rows.end());
  return true;
}

}  // namespace korvi_cli
