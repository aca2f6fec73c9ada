// Record linkage over fingerprint assets: records of two sides, an inverted
// index of the left side's fingerprints for blocking, field comparison by
// fingerprint overlap, and a Fellegi-Sunter model fitted by EM.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "korvi/link.h"

namespace korvi::link {

constexpr int kMaxFields = KORVI_LINK_MAX_FIELDS;
constexpr int kMaxVariants = 64;  // one bit each in a fingerprint's variant mask
constexpr int kLevels = KORVI_LINK_LEVELS;
constexpr int kScoredLevels = 4;  // every level but missing, which weighs nothing

// One field of one record: its distinct fingerprints (sorted, each with the
// mask of variants holding it) and the size of each variant.
struct FieldValue {
  uint64_t offset = 0;  // into Records::fingerprints and Records::masks
  uint64_t sizes = 0;   // into Records::variant_sizes
  uint32_t count = 0;   // distinct fingerprints; 0: no asset
  uint8_t variants = 0;
};

enum class KeyState : uint8_t { kUnset, kNone, kKey };

// Records as parsed, in order. In a block, field slots follow field_names;
// in a linker's side, the linker's field list.
struct Records {
  std::vector<std::string> field_names;
  std::string ids;                // each id followed by a zero byte
  std::vector<uint64_t> id_ends;  // past each id's zero byte
  std::vector<std::array<FieldValue, kMaxFields>> values;
  std::vector<uint64_t> fingerprints, masks;
  std::vector<uint8_t> variant_sizes;
  KeyState key_state = KeyState::kUnset;
  std::string key_id;
  uint64_t variants_dropped = 0;

  size_t size() const { return id_ends.size(); }
  std::string_view id(size_t i) const {
    uint64_t begin = i == 0 ? 0 : id_ends[i - 1];
    return std::string_view(ids).substr(begin, id_ends[i] - begin - 1);
  }
  const char* id_cstr(size_t i) const { return ids.data() + (i == 0 ? 0 : id_ends[i - 1]); }
  void clear();
};

// Scratch space that parsing reuses from line to line.
struct ParseScratch {
  std::vector<std::pair<uint64_t, uint8_t>> entries;  // fingerprint, variant
  std::string text;
};

// Parses one line of `korvi assets` output and appends its record. Returns
// nullptr, or why the line was refused (a static message); a refused line
// leaves the records as they were. Throws std::bad_alloc.
const char* parse_line(Records& records, ParseScratch& scratch, std::string_view line);

// The level of one field of two records: the best overlap over variant pairs.
uint8_t compare_field(const Records& a, const FieldValue& va, const Records& b, const FieldValue& vb);

struct Model {
  double prior = 0;
  std::array<std::array<double, kScoredLevels>, kMaxFields> m{}, u{};
  int iterations = 0;
  bool split = false;  // fitted knowing each record's best candidate
  uint64_t candidate_pairs = 0;
  std::string fallback;  // empty: the EM fit was used
};

// Fits m, u and the prior to pattern counts by EM; counts has
// kLevels^fields entries, with split twice that many (the second half pairs
// known not to match). u_start is the starting (with fix_u, final) u.
Model fit_model(const uint64_t* counts, int fields,
                const std::array<std::array<double, kScoredLevels>, kMaxFields>& u_start,
                double prior_start, bool fix_u, bool split = false);

class Linker {
 public:
  // Throws std::bad_alloc; a refusal comes back as a message.
  std::string append(int side, Records& block);
  // Pairs sharing fingerprints in fewer blocking fields than this are no
  // candidates, unless they share one that no other left record holds.
  std::string set_min_shared_fields(uint32_t fields);
  // The model is fitted on about this many right records (0: 50,000),
  // drawn with the seed when there are more.
  std::string set_fit_records(uint32_t records);
  std::string prepare(std::string_view blocking_fields, uint32_t cap, uint64_t seed);
  bool prepared() const { return prepared_; }
  size_t pattern_count() const { return prepared_ ? pattern_count_ : 0; }
  uint64_t count_patterns(uint32_t begin, uint32_t end, uint64_t* counts) const;
  void best_left(uint32_t begin, uint32_t end, double* best) const;
  uint64_t count_best_patterns(uint32_t begin, uint32_t end, const double* left_best, uint64_t* counts) const;
  std::string fit(const uint64_t* counts, bool fix_u, bool split);
  std::string set_model(const char* json);
  std::string model_json() const;
  bool has_model() const { return has_model_; }
  void score(uint32_t begin, uint32_t end, double threshold, std::vector<KorviLinkPair>& out) const;
  int compare(uint32_t left, uint32_t right, KorviLinkPair& pair) const;
  std::string summary() const;

  const Records& side(int s) const { return sides_[s]; }
  const std::vector<std::string>& fields() const { return fields_; }

 private:
  struct Slot {
    uint64_t key = 0;
    uint64_t begin = 0;
    uint32_t length = 0;  // 0: empty slot
  };
  const Slot* find(uint64_t key) const;
  // The candidates of one right record: sorted distinct left records that
  // share fingerprints with it in enough blocking fields (or one fingerprint
  // held by no other left record), each with the mask of blocking fields in
  // which they share one, and the mask of blocking fields in which the right
  // record holds a fingerprint left out by the cap.
  struct Candidates {
    std::vector<uint32_t> left;
    std::vector<uint8_t> shared;
    uint8_t capped = 0;
    // Scratch space reused from record to record.
    struct Lookup {
      uint64_t key;
      const Slot* slot;
      uint8_t field;
    };
    std::vector<Lookup> slots;
    std::vector<uint64_t> table, kept;
  };
  // Fitting learns from every pair sharing a blocking fingerprint, so that
  // its non-matches are the ordinary ones; scoring takes the pairs the
  // blocking rule keeps.
  enum Use { kFitting, kScoring };
  void candidates(uint32_t right, Use use, Candidates& out) const;
  bool in_fit_sample(uint32_t right) const;
  bool enough_shared(uint8_t shared, bool unique) const;
  uint32_t pattern(uint32_t left, uint32_t right, uint8_t* levels) const;
  // The same, knowing which blocking fields the pair shares a fingerprint
  // in: the other blocking fields need no comparison.
  uint32_t pattern(uint32_t left, uint32_t right, uint8_t shared, uint8_t capped, uint8_t* levels) const;
  double weight(const uint8_t* levels) const;
  void use_model(const Model& model);

  Records sides_[2];
  std::vector<std::string> fields_;
  bool prepared_ = false;
  size_t pattern_count_ = 0;
  std::array<bool, kMaxFields> blocking_{};
  std::vector<Slot> table_;
  uint64_t table_mask_ = 0;
  std::vector<uint32_t> postings_;
  std::vector<uint64_t> capped_keys_;  // sorted
  uint64_t indexed_fingerprints_ = 0, capped_fingerprints_ = 0, capped_entries_ = 0;
  uint32_t cap_ = 0;
  uint32_t min_shared_fields_ = 2, blocking_count_ = 0;
  uint32_t fit_records_ = 0;  // 0: the default
  bool fit_all_ = true;
  uint64_t fit_below_ = 0, fit_seed_ = 0, fit_sampled_ = 0;
  mutable std::atomic<uint64_t> scored_pairs_{0};
  uint64_t random_pairs_ = 0;
  std::array<std::array<double, kScoredLevels>, kMaxFields> u_random_{};

  bool has_model_ = false;
  Model model_;
  std::array<std::array<double, kLevels>, kMaxFields> weights_{};
  double prior_weight_ = 0;
};

}  // namespace korvi::link
