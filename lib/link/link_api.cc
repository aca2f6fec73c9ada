// C exports of the linker: no exception crosses them, NULL never crashes.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "korvi/link.h"
#include "link/linker.h"

struct KorviLinker {
  korvi::link::Linker linker;
};

struct KorviLinkBlock {
  korvi::link::Records records;
  korvi::link::ParseScratch scratch;
};

namespace {

char* copy_text(const std::string& text) noexcept {
  char* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (out != nullptr) std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

// 0 when message is empty, else -1 with a copy of it in *error.
int report(const std::string& message, char** error) noexcept {
  if (message.empty()) return 0;
  if (error != nullptr) *error = copy_text(message);
  return -1;
}

template <class Body>
int guarded_status(char** error, Body&& body) noexcept {
  if (error != nullptr) *error = nullptr;
  try {
    return report(body(), error);
  } catch (...) {
    return report("out of memory", error);
  }
}

}  // namespace

extern "C" {

KORVI_API KorviLinkBlock* korvi_link_block_new(void) noexcept { return new (std::nothrow) KorviLinkBlock(); }

KORVI_API void korvi_link_block_delete(KorviLinkBlock* block) noexcept { delete block; }

KORVI_API const char* korvi_link_block_add_line(KorviLinkBlock* block, const char* line, size_t length) noexcept {
  if (block == nullptr || line == nullptr) return "no block or no line";
  try {
    return korvi::link::parse_line(block->records, block->scratch, std::string_view(line, length));
  } catch (...) {
    return "out of memory";
  }
}

KORVI_API size_t korvi_link_block_size(const KorviLinkBlock* block) noexcept {
  return block == nullptr ? 0 : block->records.size();
}

KORVI_API KorviLinker* korvi_link_new(void) noexcept { return new (std::nothrow) KorviLinker(); }

KORVI_API void korvi_link_delete(KorviLinker* linker) noexcept { delete linker; }

KORVI_API int korvi_link_append(KorviLinker* linker, int side, KorviLinkBlock* block, char** error) noexcept {
  return guarded_status(error, [&]() -> std::string {
    if (linker == nullptr || block == nullptr) return "no linker or no block";
    return linker->linker.append(side, block->records);
  });
}

KORVI_API int korvi_link_set_min_shared_fields(KorviLinker* linker, uint32_t fields, char** error) noexcept {
  return guarded_status(error, [&]() -> std::string {
    if (linker == nullptr) return "no linker";
    return linker->linker.set_min_shared_fields(fields);
  });
}

KORVI_API int korvi_link_set_fit_records(KorviLinker* linker, uint32_t records, char** error) noexcept {
  return guarded_status(error, [&]() -> std::string {
    if (linker == nullptr) return "no linker";
    return linker->linker.set_fit_records(records);
  });
}

KORVI_API int korvi_link_prepare(KorviLinker* linker, const char* blocking_fields, uint32_t cap, uint64_t seed,
                                 char** error) noexcept {
  return guarded_status(error, [&]() -> std::string {
    if (linker == nullptr) return "no linker";
    return linker->linker.prepare(blocking_fields == nullptr ? "" : blocking_fields, cap, seed);
  });
}

KORVI_API size_t korvi_link_pattern_count(const KorviLinker* linker) noexcept {
  return linker == nullptr ? 0 : linker->linker.pattern_count();
}

KORVI_API uint64_t korvi_link_count_patterns(const KorviLinker* linker, uint32_t right_begin, uint32_t right_end,
                                             uint64_t* counts) noexcept {
  if (linker == nullptr) return 0;
  try {
    return linker->linker.count_patterns(right_begin, right_end, counts);
  } catch (...) {
    return 0;
  }
}

KORVI_API void korvi_link_best_left(const KorviLinker* linker, uint32_t right_begin, uint32_t right_end,
                                    double* best) noexcept {
  if (linker == nullptr) return;
  try {
    linker->linker.best_left(right_begin, right_end, best);
  } catch (...) {
  }
}

KORVI_API uint64_t korvi_link_count_best_patterns(const KorviLinker* linker, uint32_t right_begin,
                                                  uint32_t right_end, const double* left_best,
                                                  uint64_t* counts) noexcept {
  if (linker == nullptr) return 0;
  try {
    return linker->linker.count_best_patterns(right_begin, right_end, left_best, counts);
  } catch (...) {
    return 0;
  }
}

KORVI_API int korvi_link_fit(KorviLinker* linker, const uint64_t* counts, uint32_t flags, char** error) noexcept {
  return guarded_status(error, [&]() -> std::string {
    if (linker == nullptr) return "no linker";
    return linker->linker.fit(counts, (flags & KORVI_LINK_FIX_U) != 0, (flags & KORVI_LINK_BEST_SPLIT) != 0);
  });
}

KORVI_API char* korvi_link_model(const KorviLinker* linker) noexcept {
  if (linker == nullptr || !linker->linker.has_model()) return nullptr;
  try {
    return copy_text(linker->linker.model_json());
  } catch (...) {
    return nullptr;
  }
}

KORVI_API int korvi_link_set_model(KorviLinker* linker, const char* model_json, char** error) noexcept {
  return guarded_status(error, [&]() -> std::string {
    if (linker == nullptr) return "no linker";
    if (!linker->linker.prepared()) return "the linker is not prepared";
    return linker->linker.set_model(model_json);
  });
}

KORVI_API KorviLinkPair* korvi_link_score(const KorviLinker* linker, uint32_t right_begin, uint32_t right_end,
                                          double threshold, size_t* count) noexcept {
  if (count != nullptr) *count = 0;
  if (linker == nullptr || count == nullptr || !linker->linker.has_model()) return nullptr;
  try {
    std::vector<KorviLinkPair> pairs;
    linker->linker.score(right_begin, right_end, threshold, pairs);
    auto* out = static_cast<KorviLinkPair*>(std::malloc(std::max<size_t>(1, pairs.size()) * sizeof(KorviLinkPair)));
    if (out == nullptr) return nullptr;
    if (!pairs.empty()) std::memcpy(out, pairs.data(), pairs.size() * sizeof(KorviLinkPair));
    *count = pairs.size();
    return out;
  } catch (...) {
    return nullptr;
  }
}

KORVI_API size_t korvi_link_assign(KorviLinkPair* pairs, size_t count, int one_to_one) noexcept {
  if (pairs == nullptr) return 0;
  auto by_record = [](const KorviLinkPair& a, const KorviLinkPair& b) {
    return a.left != b.left ? a.left < b.left : a.right < b.right;
  };
  if (!one_to_one) {
    std::sort(pairs, pairs + count, by_record);
    return count;
  }
  std::sort(pairs, pairs + count, [](const KorviLinkPair& a, const KorviLinkPair& b) {
    if (a.probability != b.probability) return a.probability > b.probability;
    if (a.match_weight != b.match_weight) return a.match_weight > b.match_weight;
    return a.left != b.left ? a.left < b.left : a.right < b.right;
  });
  try {
    uint32_t most_left = 0, most_right = 0;
    for (size_t i = 0; i < count; ++i) {
      most_left = std::max(most_left, pairs[i].left);
      most_right = std::max(most_right, pairs[i].right);
    }
    std::vector<bool> left_taken(count > 0 ? most_left + size_t{1} : 0), right_taken(count > 0 ? most_right + size_t{1} : 0);
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
      if (left_taken[pairs[i].left] || right_taken[pairs[i].right]) continue;
      left_taken[pairs[i].left] = right_taken[pairs[i].right] = true;
      pairs[kept++] = pairs[i];
    }
    std::sort(pairs, pairs + kept, by_record);
    return kept;
  } catch (...) {
    return 0;
  }
}

KORVI_API int korvi_link_compare(const KorviLinker* linker, uint32_t left, uint32_t right,
                                 KorviLinkPair* pair) noexcept {
  if (linker == nullptr || pair == nullptr) return -1;
  return linker->linker.compare(left, right, *pair);
}

KORVI_API uint32_t korvi_link_record_count(const KorviLinker* linker, int side) noexcept {
  if (linker == nullptr || (side != KORVI_LINK_LEFT && side != KORVI_LINK_RIGHT)) return 0;
  return static_cast<uint32_t>(linker->linker.side(side).size());
}

KORVI_API const char* korvi_link_record_id(const KorviLinker* linker, int side, uint32_t index) noexcept {
  if (linker == nullptr || (side != KORVI_LINK_LEFT && side != KORVI_LINK_RIGHT)) return nullptr;
  const auto& records = linker->linker.side(side);
  if (index >= records.size()) return nullptr;
  return records.id_cstr(index);
}

KORVI_API size_t korvi_link_field_count(const KorviLinker* linker) noexcept {
  return linker == nullptr ? 0 : linker->linker.fields().size();
}

KORVI_API const char* korvi_link_field_name(const KorviLinker* linker, size_t field) noexcept {
  if (linker == nullptr || field >= linker->linker.fields().size()) return nullptr;
  return linker->linker.fields()[field].c_str();
}

KORVI_API char* korvi_link_summary(const KorviLinker* linker) noexcept {
  if (linker == nullptr) return nullptr;
  try {
    return copy_text(linker->linker.summary());
  } catch (...) {
    return nullptr;
  }
}

}  // extern "C"
