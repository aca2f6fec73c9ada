#include "link/linker.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <new>

#include "korvi/json.h"

namespace korvi::link {

namespace {

constexpr uint32_t kDefaultCap = 100;
constexpr uint64_t kRandomPairs = 100000;
constexpr uint32_t kDefaultFitRecords = 50000;
constexpr int kMaxIterations = 500;
constexpr double kFloor = 1e-9;  // no probability of a level is ever 0
// Starting, and fallback, match probabilities of exact, strong, weak, none.
constexpr std::array<double, kScoredLevels> kDefaultM = {0.90, 0.04, 0.03, 0.03};
constexpr const char* kLevelNames[kLevels] = {"exact", "strong", "weak", "none", "missing"};

uint64_t splitmix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Keys of the index: a fingerprint, kept apart per field.
uint64_t index_key(uint64_t fingerprint, int field) {
  return fingerprint ^ (0x9E3779B97F4A7C15ull * static_cast<uint64_t>(field + 1));
}

uint8_t grade(uint32_t common, uint32_t size_a, uint32_t size_b) {
  if (common == 0) return KORVI_LINK_NONE;
  if (common == size_a && common == size_b) return KORVI_LINK_EXACT;
  if (3 * common >= 2 * std::min(size_a, size_b)) return KORVI_LINK_STRONG;
  return KORVI_LINK_WEAK;
}

void append_number(std::string& out, double x) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", x);
  out += text;
}

void append_name(std::string& out, std::string_view name) {
  out.push_back('"');
  for (char c : name) {
    if (c == '"' || c == '\\') out.push_back('\\');
    if (static_cast<unsigned char>(c) < 0x20) {
      char text[8];
      std::snprintf(text, sizeof text, "\\u%04X", static_cast<unsigned>(c));
      out += text;
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
}

}  // namespace

uint8_t compare_field(const Records& a, const FieldValue& va, const Records& b, const FieldValue& vb) {
  if (va.count == 0 || vb.count == 0) return KORVI_LINK_MISSING;
  const uint64_t* fa = a.fingerprints.data() + va.offset;
  const uint64_t* fb = b.fingerprints.data() + vb.offset;
  const uint64_t* ma = a.masks.data() + va.offset;
  const uint64_t* mb = b.masks.data() + vb.offset;
  const uint8_t* sa = a.variant_sizes.data() + va.sizes;
  const uint8_t* sb = b.variant_sizes.data() + vb.sizes;
  // Merges advance without branches on the comparison: most fingerprints
  // of two records differ, and which side is behind is a coin toss.
  if (va.variants == 1 && vb.variants == 1) {
    uint32_t common = 0;
    for (uint32_t i = 0, j = 0; i < va.count && j < vb.count;) {
      uint64_t x = fa[i], y = fb[j];
      common += x == y;
      i += x <= y;
      j += y <= x;
    }
    return grade(common, sa[0], sb[0]);
  }
  // Shared fingerprints counted per pair of variants (i of a, j of b).
  uint16_t counts[kMaxVariants * kMaxVariants];
  uint16_t touched[kMaxVariants * kMaxVariants];
  uint32_t touched_count = 0;
  uint64_t used[kMaxVariants] = {};  // bit j of row i: counts[i][j] is live
  auto count = [&](uint64_t mask_a, uint64_t mask_b) {
    for (uint64_t x = mask_a; x != 0; x &= x - 1) {
      auto vi = static_cast<uint32_t>(std::countr_zero(x));
      for (uint64_t y = mask_b; y != 0; y &= y - 1) {
        auto vj = static_cast<uint32_t>(std::countr_zero(y));
        uint32_t cell = vi * kMaxVariants + vj;
        if ((used[vi] >> vj & 1) == 0) {
          used[vi] |= uint64_t{1} << vj;
          touched[touched_count++] = static_cast<uint16_t>(cell);
          counts[cell] = 0;
        }
        ++counts[cell];
      }
    }
  };
  // The first shared fingerprint is held back: when it stays the only one,
  // every pair of variants holding it shares exactly one, and the smallest
  // variant of each side grades best, with no counting at all.
  uint32_t shared = 0;
  uint64_t first_a = 0, first_b = 0;
  for (uint32_t i = 0, j = 0; i < va.count && j < vb.count;) {
    uint64_t p = fa[i], q = fb[j];
    if (p != q) {
      i += p < q;
      j += q < p;
      continue;
    }
    if (shared == 0) {
      first_a = ma[i], first_b = mb[j];
    } else {
      if (shared == 1) count(first_a, first_b);
      count(ma[i], mb[j]);
    }
    ++shared, ++i, ++j;
  }
  if (shared == 0) return KORVI_LINK_NONE;
  if (shared == 1) {
    uint32_t small_a = 255, small_b = 255;
    for (uint64_t x = first_a; x != 0; x &= x - 1) small_a = std::min<uint32_t>(small_a, sa[std::countr_zero(x)]);
    for (uint64_t y = first_b; y != 0; y &= y - 1) small_b = std::min<uint32_t>(small_b, sb[std::countr_zero(y)]);
    return grade(1, small_a, small_b);
  }
  uint8_t best = KORVI_LINK_NONE;
  for (uint32_t t = 0; t < touched_count && best != KORVI_LINK_EXACT; ++t) {
    uint32_t cell = touched[t];
    best = std::min(best, grade(counts[cell], sa[cell / kMaxVariants], sb[cell % kMaxVariants]));
  }
  return best;
}

std::string Linker::append(int side, Records& block) {
  if (prepared_) return "records cannot be added once the linker is prepared";
  if (side != KORVI_LINK_LEFT && side != KORVI_LINK_RIGHT) return "side must be KORVI_LINK_LEFT or KORVI_LINK_RIGHT";
  Records& to = sides_[side];
  if (block.size() == 0) return {};
  if (to.key_state != KeyState::kUnset &&
      (to.key_state != block.key_state || to.key_id != block.key_id))
    return "the records were made with another key (key_id) than the records before them";
  std::array<int, kMaxFields> slot{};
  std::vector<std::string> fields = fields_;
  for (size_t i = 0; i < block.field_names.size(); ++i) {
    auto it = std::find(fields.begin(), fields.end(), block.field_names[i]);
    if (it == fields.end()) {
      if (fields.size() == kMaxFields) return "more than 8 fields in the two files together";
      fields.push_back(block.field_names[i]);
      it = fields.end() - 1;
    }
    slot[i] = static_cast<int>(it - fields.begin());
  }
  fields_ = std::move(fields);
  to.key_state = block.key_state;
  to.key_id = block.key_id;
  const uint64_t id_base = to.ids.size(), fp_base = to.fingerprints.size(), size_base = to.variant_sizes.size();
  to.ids += block.ids;
  for (uint64_t end : block.id_ends) to.id_ends.push_back(id_base + end);
  for (const auto& values : block.values) {
    std::array<FieldValue, kMaxFields> moved{};
    for (size_t i = 0; i < block.field_names.size(); ++i) {
      moved[slot[i]] = values[i];
      moved[slot[i]].offset += fp_base;
      moved[slot[i]].sizes += size_base;
    }
    to.values.push_back(moved);
  }
  to.fingerprints.insert(to.fingerprints.end(), block.fingerprints.begin(), block.fingerprints.end());
  to.masks.insert(to.masks.end(), block.masks.begin(), block.masks.end());
  to.variant_sizes.insert(to.variant_sizes.end(), block.variant_sizes.begin(), block.variant_sizes.end());
  to.variants_dropped += block.variants_dropped;
  block.clear();
  return {};
}

std::string Linker::set_min_shared_fields(uint32_t fields) {
  if (prepared_) return "the blocking rule cannot change once the linker is prepared";
  if (fields < 1 || fields > kMaxFields) return "the number of shared blocking fields must be 1 to 8";
  min_shared_fields_ = fields;
  return {};
}

std::string Linker::set_fit_records(uint32_t records) {
  if (prepared_) return "the fitting sample cannot change once the linker is prepared";
  fit_records_ = records;
  return {};
}

std::string Linker::prepare(std::string_view blocking_fields, uint32_t cap, uint64_t seed) {
  if (prepared_) return "the linker is already prepared";
  const Records& left = sides_[KORVI_LINK_LEFT];
  const Records& right = sides_[KORVI_LINK_RIGHT];
  if (left.key_state != KeyState::kUnset && right.key_state != KeyState::kUnset &&
      (left.key_state != right.key_state || left.key_id != right.key_id)) {
    if (left.key_state == KeyState::kNone || right.key_state == KeyState::kNone)
      return "one file was made with a key (key_id) and the other without: fingerprints of the two cannot match";
    return "the two files were made with different keys (key_id \"" + left.key_id + "\" and \"" + right.key_id +
           "\"): fingerprints of the two cannot match";
  }
  blocking_.fill(false);
  if (blocking_fields.empty()) {
    for (size_t f = 0; f < fields_.size(); ++f) blocking_[f] = fields_[f] != "city_state_zip";
  } else {
    for (size_t start = 0; start <= blocking_fields.size();) {
      size_t comma = std::min(blocking_fields.find(',', start), blocking_fields.size());
      std::string_view name = blocking_fields.substr(start, comma - start);
      auto it = std::find(fields_.begin(), fields_.end(), name);
      if (it == fields_.end()) {
        std::string known;
        for (const auto& f : fields_) known += (known.empty() ? "" : ", ") + f;
        return "blocking field \"" + std::string(name) + "\" is in neither file (fields: " + known + ")";
      }
      blocking_[it - fields_.begin()] = true;
      start = comma + 1;
    }
  }
  cap_ = cap == 0 ? kDefaultCap : cap;
  blocking_count_ = static_cast<uint32_t>(std::count(blocking_.begin(), blocking_.end(), true));

  // The index: every (fingerprint of a blocking field, left record), grouped
  // by fingerprint; groups of more than cap records are left out.
  std::vector<std::pair<uint64_t, uint32_t>> entries;
  size_t total = 0;
  for (size_t r = 0; r < left.size(); ++r)
    for (size_t f = 0; f < fields_.size(); ++f)
      if (blocking_[f]) total += left.values[r][f].count;
  entries.reserve(total);
  for (size_t r = 0; r < left.size(); ++r)
    for (size_t f = 0; f < fields_.size(); ++f) {
      if (!blocking_[f]) continue;
      const FieldValue& v = left.values[r][f];
      for (uint32_t k = 0; k < v.count; ++k)
        entries.emplace_back(index_key(left.fingerprints[v.offset + k], static_cast<int>(f)), static_cast<uint32_t>(r));
    }
  std::sort(entries.begin(), entries.end());
  size_t groups = 0;
  for (size_t i = 0; i < entries.size(); ++i) groups += i == 0 || entries[i].first != entries[i - 1].first;
  uint64_t size = 16;
  while (size < 2 * groups) size *= 2;
  table_.assign(size, Slot{});
  table_mask_ = size - 1;
  postings_.clear();
  for (size_t i = 0; i < entries.size();) {
    size_t j = i;
    while (j < entries.size() && entries[j].first == entries[i].first) ++j;
    if (j - i > cap_) {
      capped_keys_.push_back(entries[i].first);
      ++capped_fingerprints_;
      capped_entries_ += j - i;
    } else {
      Slot* slot = &table_[entries[i].first & table_mask_];
      while (slot->length != 0) slot = &table_[(slot - table_.data() + 1) & table_mask_];
      slot->key = entries[i].first;
      slot->begin = postings_.size();
      slot->length = static_cast<uint32_t>(j - i);
      for (size_t k = i; k < j; ++k) postings_.push_back(entries[k].second);
      ++indexed_fingerprints_;
    }
    i = j;
  }
  std::vector<std::pair<uint64_t, uint32_t>>().swap(entries);

  // The right records the model is fitted on: all of them, or a seeded
  // sample of about fit_records_, each record in or out by its own hash.
  const uint32_t fit_records = fit_records_ == 0 ? kDefaultFitRecords : fit_records_;
  fit_all_ = right.size() <= fit_records;
  fit_below_ = fit_all_ ? 0 : static_cast<uint64_t>(std::ldexp(static_cast<double>(fit_records) / static_cast<double>(right.size()), 64));
  uint64_t fit_state = seed ^ 0x5DEECE66Dull;
  fit_seed_ = splitmix64(fit_state);
  fit_sampled_ = 0;
  for (uint32_t r = 0; r < right.size(); ++r) fit_sampled_ += in_fit_sample(r);

  // Agreement among unrelated records, from random pairs.
  pattern_count_ = 1;
  for (size_t f = 0; f < fields_.size(); ++f) pattern_count_ *= kLevels;
  std::array<std::array<uint64_t, kLevels>, kMaxFields> agree{};
  random_pairs_ = 0;
  if (left.size() > 0 && right.size() > 0) {
    random_pairs_ = std::min<uint64_t>(kRandomPairs, static_cast<uint64_t>(left.size()) * right.size());
    uint64_t state = seed;
    for (uint64_t n = 0; n < random_pairs_; ++n) {
      auto l = static_cast<uint32_t>(splitmix64(state) % left.size());
      auto r = static_cast<uint32_t>(splitmix64(state) % right.size());
      for (size_t f = 0; f < fields_.size(); ++f)
        ++agree[f][compare_field(left, left.values[l][f], right, right.values[r][f])];
    }
  }
  for (size_t f = 0; f < kMaxFields; ++f) {
    uint64_t present = 0;
    for (int l = 0; l < kScoredLevels; ++l) present += agree[f][l];
    for (int l = 0; l < kScoredLevels; ++l) {
      // Levels never seen among random pairs get half a pair's share.
      double seen = static_cast<double>(agree[f][l]);
      u_random_[f][l] = std::max(seen, 0.5) / std::max<double>(static_cast<double>(present) + 0.5 * kScoredLevels, 1);
    }
  }
  prepared_ = true;
  return {};
}

const Linker::Slot* Linker::find(uint64_t key) const {
  for (const Slot* slot = &table_[key & table_mask_];; slot = &table_[(slot - table_.data() + 1) & table_mask_]) {
    if (slot->length == 0) return nullptr;
    if (slot->key == key) return slot;
  }
}

bool Linker::enough_shared(uint8_t shared, bool unique) const {
  return unique || static_cast<uint32_t>(std::popcount(shared)) >= std::min(min_shared_fields_, blocking_count_);
}

bool Linker::in_fit_sample(uint32_t right) const {
  if (fit_all_) return true;
  uint64_t state = fit_seed_ ^ right;
  return splitmix64(state) < fit_below_;
}

void Linker::candidates(uint32_t right, Use use, Candidates& out) const {
  out.left.clear();
  out.shared.clear();
  out.capped = 0;
  const Records& r = sides_[KORVI_LINK_RIGHT];
  // The index is far larger than any cache: the record's slots, then their
  // postings, are fetched all at once before any is read.
  auto& slots = out.slots;
  slots.clear();
  for (size_t f = 0; f < fields_.size(); ++f) {
    if (!blocking_[f]) continue;
    const FieldValue& v = r.values[right][f];
    for (uint32_t k = 0; k < v.count; ++k) {
      uint64_t key = index_key(r.fingerprints[v.offset + k], static_cast<int>(f));
      __builtin_prefetch(&table_[key & table_mask_]);
      slots.push_back({key, nullptr, static_cast<uint8_t>(f)});
    }
  }
  uint64_t postings = 0;
  for (auto& s : slots) {
    s.slot = find(s.key);
    if (s.slot != nullptr) {
      __builtin_prefetch(&postings_[s.slot->begin]);
      postings += s.slot->length;
    } else if (!capped_keys_.empty() && std::binary_search(capped_keys_.begin(), capped_keys_.end(), s.key)) {
      out.capped |= static_cast<uint8_t>(1u << s.field);
    }
  }
  // Shared fields per left record, gathered in an open-addressing table
  // (left record + 1) << 16 | held by no other left record << 8 | fields.
  uint64_t size = 16;
  while (size < 2 * postings) size *= 2;
  auto& table = out.table;
  table.assign(size, 0);
  const int shift = 64 - std::countr_zero(size);
  for (const auto& s : slots) {
    if (s.slot == nullptr) continue;
    const uint64_t bits = (s.slot->length == 1 ? 0x100u : 0u) | (1u << s.field);
    for (uint64_t p = s.slot->begin; p < s.slot->begin + s.slot->length; ++p) {
      const uint64_t tag = (uint64_t{postings_[p]} + 1) << 16;
      for (uint64_t h = (tag * 0x9E3779B97F4A7C15ull) >> shift;; h = (h + 1) & (size - 1)) {
        if (table[h] == 0) {
          table[h] = tag | bits;
          break;
        }
        if ((table[h] & ~uint64_t{0xFFFF}) == tag) {
          table[h] |= bits;
          break;
        }
      }
    }
  }
  auto& kept = out.kept;  // left record << 8 | fields, in record order
  kept.clear();
  for (uint64_t e : table) {
    if (e == 0) continue;
    const auto shared = static_cast<uint8_t>(e);
    if (use == kScoring && !enough_shared(shared, (e & 0x100) != 0)) continue;
    kept.push_back(((e >> 16) - 1) << 8 | shared);
  }
  std::sort(kept.begin(), kept.end());
  for (uint64_t k : kept) {
    out.left.push_back(static_cast<uint32_t>(k >> 8));
    out.shared.push_back(static_cast<uint8_t>(k));
  }
}

uint32_t Linker::pattern(uint32_t left, uint32_t right, uint8_t shared, uint8_t capped, uint8_t* levels) const {
  const Records& a = sides_[KORVI_LINK_LEFT];
  const Records& b = sides_[KORVI_LINK_RIGHT];
  uint32_t code = 0, scale = 1;
  for (size_t f = 0; f < fields_.size(); ++f) {
    const FieldValue& va = a.values[left][f];
    const FieldValue& vb = b.values[right][f];
    // A blocking field shares a fingerprint only through the index or a
    // fingerprint the cap left out, so without either it shares none.
    if (blocking_[f] && ((shared | capped) >> f & 1) == 0)
      levels[f] = va.count == 0 || vb.count == 0 ? KORVI_LINK_MISSING : KORVI_LINK_NONE;
    else
      levels[f] = compare_field(a, va, b, vb);
    code += levels[f] * scale;
    scale *= kLevels;
  }
  return code;
}

uint32_t Linker::pattern(uint32_t left, uint32_t right, uint8_t* levels) const {
  const Records& a = sides_[KORVI_LINK_LEFT];
  const Records& b = sides_[KORVI_LINK_RIGHT];
  uint32_t code = 0, scale = 1;
  for (size_t f = 0; f < fields_.size(); ++f) {
    levels[f] = compare_field(a, a.values[left][f], b, b.values[right][f]);
    code += levels[f] * scale;
    scale *= kLevels;
  }
  return code;
}

uint64_t Linker::count_patterns(uint32_t begin, uint32_t end, uint64_t* counts) const {
  if (!prepared_ || counts == nullptr) return 0;
  end = std::min<uint32_t>(end, static_cast<uint32_t>(sides_[KORVI_LINK_RIGHT].size()));
  Candidates found;
  uint8_t levels[kMaxFields];
  uint64_t pairs = 0;
  for (uint32_t r = begin; r < end; ++r) {
    if (!in_fit_sample(r)) continue;
    candidates(r, kFitting, found);
    for (size_t i = 0; i < found.left.size(); ++i)
      ++counts[pattern(found.left[i], r, found.shared[i], found.capped, levels)];
    pairs += found.left.size();
  }
  return pairs;
}

double Linker::weight(const uint8_t* levels) const {
  double w = prior_weight_;
  for (size_t f = 0; f < fields_.size(); ++f) w += weights_[f][levels[f]];
  return w;
}

void Linker::best_left(uint32_t begin, uint32_t end, double* best) const {
  if (!prepared_ || !has_model_ || best == nullptr) return;
  end = std::min<uint32_t>(end, static_cast<uint32_t>(sides_[KORVI_LINK_RIGHT].size()));
  Candidates found;
  uint8_t levels[kMaxFields];
  for (uint32_t r = begin; r < end; ++r) {
    // Every right record, not only the sample: a left record's true copy
    // is rarely in the sample, and without it a look-alike (a member of the
    // household) would pass for the left record's best pair.
    candidates(r, kScoring, found);
    for (size_t i = 0; i < found.left.size(); ++i) {
      uint32_t l = found.left[i];
      pattern(l, r, found.shared[i], found.capped, levels);
      best[l] = std::max(best[l], weight(levels));
    }
  }
}

uint64_t Linker::count_best_patterns(uint32_t begin, uint32_t end, const double* left_best, uint64_t* counts) const {
  if (!prepared_ || !has_model_ || counts == nullptr) return 0;
  end = std::min<uint32_t>(end, static_cast<uint32_t>(sides_[KORVI_LINK_RIGHT].size()));
  Candidates found;
  std::vector<uint32_t> codes;
  uint8_t levels[kMaxFields];
  uint64_t pairs = 0;
  for (uint32_t r = begin; r < end; ++r) {
    if (!in_fit_sample(r)) continue;
    candidates(r, kFitting, found);
    codes.clear();
    size_t best = 0;
    double best_weight = 0;
    for (size_t i = 0; i < found.left.size(); ++i) {
      codes.push_back(pattern(found.left[i], r, found.shared[i], found.capped, levels));
      double w = weight(levels);
      if (i == 0 || w > best_weight) best = i, best_weight = w;
    }
    // The right record's best pair counts as one only if no other right
    // record makes a better pair with its left record.
    bool mutual = !found.left.empty() && (left_best == nullptr || best_weight >= left_best[found.left[best]]);
    for (size_t i = 0; i < codes.size(); ++i) ++counts[(i == best && mutual ? 0 : pattern_count_) + codes[i]];
    pairs += found.left.size();
  }
  return pairs;
}

Model fit_model(const uint64_t* counts, int fields,
                const std::array<std::array<double, kScoredLevels>, kMaxFields>& u_start, double prior_start,
                bool fix_u, bool split) {
  struct Seen {
    std::array<uint8_t, kMaxFields> levels;
    double count;
    bool non_match;
  };
  std::vector<Seen> seen;
  size_t patterns = 1;
  for (int f = 0; f < fields; ++f) patterns *= kLevels;
  double total = 0;
  for (size_t q = 0; q < (split ? 2 : 1) * patterns; ++q) {
    if (counts[q] == 0) continue;
    Seen s{};
    size_t p = q % patterns;
    for (size_t f = 0, rest = p; f < static_cast<size_t>(fields); ++f, rest /= kLevels) s.levels[f] = static_cast<uint8_t>(rest % kLevels);
    s.count = static_cast<double>(counts[q]);
    s.non_match = q >= patterns;
    total += s.count;
    seen.push_back(s);
  }
  Model model;
  model.split = split;
  model.candidate_pairs = static_cast<uint64_t>(total);
  model.prior = prior_start;
  for (int f = 0; f < fields; ++f) {
    model.m[f] = kDefaultM;
    model.u[f] = u_start[f];
  }
  if (seen.empty()) {
    model.fallback = "no candidate pairs to fit the model on";
    return model;
  }
  for (int it = 1; it <= kMaxIterations; ++it) {
    std::array<std::array<double, kScoredLevels>, kMaxFields> am{}, au{};
    double matched = 0;
    for (const Seen& s : seen) {
      double pm = model.prior, pu = 1 - model.prior;
      for (int f = 0; f < fields; ++f) {
        if (s.levels[f] == KORVI_LINK_MISSING) continue;
        pm *= model.m[f][s.levels[f]];
        pu *= model.u[f][s.levels[f]];
      }
      double w = !s.non_match && pm + pu > 0 ? pm / (pm + pu) : 0;
      matched += w * s.count;
      for (int f = 0; f < fields; ++f) {
        if (s.levels[f] == KORVI_LINK_MISSING) continue;
        am[f][s.levels[f]] += w * s.count;
        au[f][s.levels[f]] += (1 - w) * s.count;
      }
    }
    double change = std::fabs(matched / total - model.prior);
    model.prior = matched / total;
    auto normalise = [&](const std::array<double, kScoredLevels>& sums, std::array<double, kScoredLevels>& into) {
      double sum = 0;
      for (double x : sums) sum += x;
      if (!(sum > 0)) return;  // the field is missing everywhere: keep what it had
      for (int l = 0; l < kScoredLevels; ++l) {
        double next = std::max(sums[l] / sum, kFloor);
        change = std::max(change, std::fabs(next - into[l]));
        into[l] = next;
      }
    };
    for (int f = 0; f < fields; ++f) {
      normalise(am[f], model.m[f]);
      if (!fix_u) normalise(au[f], model.u[f]);
    }
    model.iterations = it;
    if (!(change > 1e-9)) break;
  }

  // A fit is refused when it found no match class, took nearly everything
  // for a match, or made a "match" class that agrees less often than the
  // non-match class on most fields (the classes swapped or collapsed).
  int informative = 0, agreeing = 0;
  for (int f = 0; f < fields; ++f) {
    if (model.m[f] == kDefaultM && model.u[f] == u_start[f]) continue;  // no data for the field
    ++informative;
    agreeing += model.m[f][KORVI_LINK_EXACT] > model.u[f][KORVI_LINK_EXACT];
  }
  if (!std::isfinite(model.prior)) model.fallback = "the fit did not converge";
  else if (model.prior * total < 1) model.fallback = "the fit found no match class";
  else if (model.prior > 0.95) model.fallback = "the fit took nearly every candidate pair for a match";
  else if (2 * agreeing <= informative) model.fallback = "the fit's match class agrees less than its non-match class";
  if (!model.fallback.empty()) {
    model.prior = prior_start;
    for (int f = 0; f < fields; ++f) {
      model.m[f] = kDefaultM;
      model.u[f] = u_start[f];
    }
  }
  return model;
}

std::string Linker::fit(const uint64_t* counts, bool fix_u, bool split) {
  if (!prepared_) return "the linker is not prepared";
  if (counts == nullptr) return "no pattern counts";
  uint64_t total = 0;
  for (size_t p = 0; p < (split ? 2 : 1) * pattern_count_; ++p) total += counts[p];
  // Start from every record of the smaller side having one match.
  double smaller = static_cast<double>(std::min(sides_[0].size(), sides_[1].size()));
  double prior = total > 0 ? std::clamp(smaller / static_cast<double>(total), 1e-6, 0.5) : 0.5;
  use_model(fit_model(counts, static_cast<int>(fields_.size()), u_random_, prior, fix_u, split));
  return {};
}

void Linker::use_model(const Model& model) {
  model_ = model;
  for (size_t f = 0; f < kMaxFields; ++f) {
    for (int l = 0; l < kScoredLevels; ++l)
      weights_[f][l] = f < fields_.size() ? std::log2(model.m[f][l] / model.u[f][l]) : 0;
    weights_[f][KORVI_LINK_MISSING] = 0;
  }
  prior_weight_ = std::log2(model.prior / (1 - model.prior));
  has_model_ = true;
}

std::string Linker::model_json() const {
  std::string out = "{\"fields\":[";
  for (size_t f = 0; f < fields_.size(); ++f) {
    if (f > 0) out.push_back(',');
    append_name(out, fields_[f]);
  }
  out += "],\"levels\":[\"exact\",\"strong\",\"weak\",\"none\"],\"prior\":";
  append_number(out, model_.prior);
  const char* tables[] = {"m", "u", "match_weights"};
  for (int t = 0; t < 3; ++t) {
    out += ",\"";
    out += tables[t];
    out += "\":{";
    for (size_t f = 0; f < fields_.size(); ++f) {
      if (f > 0) out.push_back(',');
      append_name(out, fields_[f]);
      out += ":[";
      for (int l = 0; l < kScoredLevels; ++l) {
        if (l > 0) out.push_back(',');
        append_number(out, t == 0 ? model_.m[f][l] : t == 1 ? model_.u[f][l] : weights_[f][l]);
      }
      out.push_back(']');
    }
    out.push_back('}');
  }
  out += ",\"iterations\":" + std::to_string(model_.iterations);
  out += model_.split ? ",\"best_split\":true" : ",\"best_split\":false";
  out += ",\"candidate_pairs\":" + std::to_string(model_.candidate_pairs);
  out += ",\"fallback\":";
  if (model_.fallback.empty()) out += "null";
  else append_name(out, model_.fallback);
  out += "}";
  return out;
}

std::string Linker::set_model(const char* json) {
  if (json == nullptr) return "no model text";
  struct Tree {
    JsonNode* node;
    ~Tree() { json_delete(node); }
  } tree{json_decode(json)};
  if (tree.node == nullptr || tree.node->tag != JSON_OBJECT) return "the model is not a JSON object";
  Model model;
  JsonNode* prior = json_find_member(tree.node, "prior");
  if (prior == nullptr || prior->tag != JSON_NUMBER || !(prior->number_ > 0 && prior->number_ < 1))
    return "the model's prior is not a number between 0 and 1";
  model.prior = prior->number_;
  for (int t = 0; t < 2; ++t) {
    const char* name = t == 0 ? "m" : "u";
    JsonNode* table = json_find_member(tree.node, name);
    if (table == nullptr || table->tag != JSON_OBJECT) return std::string("the model has no table ") + name;
    for (size_t f = 0; f < fields_.size(); ++f) {
      JsonNode* row = json_find_member(table, fields_[f].c_str());
      if (row == nullptr || row->tag != JSON_ARRAY)
        return "the model has no " + std::string(name) + " for field " + fields_[f];
      int l = 0;
      for (JsonNode* x = json_first_child(row); x != nullptr; x = x->next, ++l) {
        if (l >= kScoredLevels || x->tag != JSON_NUMBER || !(x->number_ > 0 && x->number_ <= 1))
          return "the model's " + std::string(name) + " for field " + fields_[f] +
                 " is not 4 probabilities above 0";
        (t == 0 ? model.m : model.u)[f][l] = x->number_;
      }
      if (l != kScoredLevels)
        return "the model's " + std::string(name) + " for field " + fields_[f] + " is not 4 probabilities above 0";
    }
  }
  if (JsonNode* n = json_find_member(tree.node, "iterations"); n != nullptr && n->tag == JSON_NUMBER)
    model.iterations = static_cast<int>(n->number_);
  if (JsonNode* n = json_find_member(tree.node, "candidate_pairs"); n != nullptr && n->tag == JSON_NUMBER)
    model.candidate_pairs = static_cast<uint64_t>(n->number_);
  if (JsonNode* n = json_find_member(tree.node, "fallback"); n != nullptr && n->tag == JSON_STRING)
    model.fallback = n->string_;
  use_model(model);
  return {};
}

void Linker::score(uint32_t begin, uint32_t end, double threshold, std::vector<KorviLinkPair>& out) const {
  if (!prepared_ || !has_model_) return;
  end = std::min<uint32_t>(end, static_cast<uint32_t>(sides_[KORVI_LINK_RIGHT].size()));
  Candidates found;
  KorviLinkPair pair{};
  uint64_t scored = 0;
  for (uint32_t r = begin; r < end; ++r) {
    candidates(r, kScoring, found);
    scored += found.left.size();
    for (size_t i = 0; i < found.left.size(); ++i) {
      uint32_t l = found.left[i];
      pattern(l, r, found.shared[i], found.capped, pair.levels);
      double w = prior_weight_;
      for (size_t f = 0; f < fields_.size(); ++f) w += weights_[f][pair.levels[f]];
      double p = 1 / (1 + std::exp2(-w));
      if (p < threshold) continue;
      pair.left = l;
      pair.right = r;
      pair.probability = p;
      pair.match_weight = w;
      out.push_back(pair);
    }
  }
  scored_pairs_.fetch_add(scored, std::memory_order_relaxed);
}

int Linker::compare(uint32_t left, uint32_t right, KorviLinkPair& pair) const {
  if (!prepared_ || left >= sides_[0].size() || right >= sides_[1].size()) return -1;
  pair = KorviLinkPair{};
  pair.left = left;
  pair.right = right;
  pattern(left, right, pair.levels);
  if (has_model_) {
    double w = prior_weight_;
    for (size_t f = 0; f < fields_.size(); ++f) w += weights_[f][pair.levels[f]];
    pair.match_weight = w;
    pair.probability = 1 / (1 + std::exp2(-w));
  }
  const Records& r = sides_[KORVI_LINK_RIGHT];
  uint8_t shared = 0;
  bool unique = false;
  for (size_t f = 0; f < fields_.size(); ++f) {
    if (!blocking_[f]) continue;
    const FieldValue& v = r.values[right][f];
    for (uint32_t k = 0; k < v.count; ++k) {
      const Slot* slot = find(index_key(r.fingerprints[v.offset + k], static_cast<int>(f)));
      if (slot != nullptr &&
          std::binary_search(postings_.begin() + slot->begin, postings_.begin() + slot->begin + slot->length, left)) {
        shared |= static_cast<uint8_t>(1u << f);
        unique |= slot->length == 1;
      }
    }
  }
  return enough_shared(shared, unique) ? 1 : 0;
}

std::string Linker::summary() const {
  std::string out = "{\"left_records\":" + std::to_string(sides_[0].size()) +
                    ",\"right_records\":" + std::to_string(sides_[1].size()) + ",\"fields\":[";
  for (size_t f = 0; f < fields_.size(); ++f) {
    if (f > 0) out.push_back(',');
    append_name(out, fields_[f]);
  }
  out += "],\"blocking_fields\":[";
  bool first = true;
  for (size_t f = 0; f < fields_.size(); ++f) {
    if (!blocking_[f]) continue;
    if (!first) out.push_back(',');
    first = false;
    append_name(out, fields_[f]);
  }
  out += "],\"min_shared_fields\":" + std::to_string(min_shared_fields_);
  out += ",\"cap\":" + std::to_string(cap_);
  out += ",\"indexed_fingerprints\":" + std::to_string(indexed_fingerprints_);
  out += ",\"index_entries\":" + std::to_string(postings_.size());
  out += ",\"capped_fingerprints\":" + std::to_string(capped_fingerprints_);
  out += ",\"capped_entries\":" + std::to_string(capped_entries_);
  out += ",\"variants_dropped\":" + std::to_string(sides_[0].variants_dropped + sides_[1].variants_dropped);
  out += ",\"random_pairs\":" + std::to_string(random_pairs_);
  out += ",\"fit_records\":" + std::to_string(fit_sampled_);
  out += ",\"candidate_pairs\":" + std::to_string(scored_pairs_.load(std::memory_order_relaxed));
  out += ",\"levels\":[";
  for (int l = 0; l < kLevels; ++l) {
    if (l > 0) out.push_back(',');
    append_name(out, kLevelNames[l]);
  }
  out += "]}";
  return out;
}

}  // namespace korvi::link
