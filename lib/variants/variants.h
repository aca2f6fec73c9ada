// Spelling variants of personal fields: the compiled-in alternates tables
// (given names, street-address words, states) and the generators of name,
// address and city-state-zip variants. Inputs are texts already cleaned with
// CLEAN_TEXT; nothing here cleans again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvi::variants {

// One alternates table: groups of entries, each a key followed by the forms
// that may stand for it, in variant order. Groups are sorted by key (byte
// order); group i is entries[starts[i] .. starts[i + 1]).
struct AlternatesTable {
  std::span<const std::string_view> entries;
  std::span<const uint32_t> starts;  // group_count() + 1 offsets
  // Hash index of the keys: a power-of-two count of slots, each group index
  // + 1 or 0 when empty, placed by key_hash with linear probing.
  std::span<const uint16_t> slots;

  size_t group_count() const noexcept { return starts.empty() ? 0 : starts.size() - 1; }
  std::span<const std::string_view> group(size_t i) const noexcept {
    return entries.subspan(starts[i], starts[i + 1] - starts[i]);
  }
};

// 32-bit FNV-1a of the bytes, as the table generator computes it.
constexpr uint32_t key_hash(std::string_view key) noexcept {
  uint32_t h = 0x811C9DC5u;
  for (char c : key) h = (h ^ static_cast<unsigned char>(c)) * 0x01000193u;
  return h;
}

// Defined in tables_generated.cc (written by generate_tables.py).
extern const AlternatesTable kNameAlternates;
extern const AlternatesTable kAddressAlternates;
extern const AlternatesTable kStateAlternates;

// The group whose key equals word byte for byte (no folding or trimming), or
// an empty span when there is none.
std::span<const std::string_view> lookup_alternates(const AlternatesTable& table,
                                                    std::string_view word) noexcept;

// The forms of a word: its group, or the word alone when it is not a key.
std::vector<std::string_view> alternatives(const AlternatesTable& table, std::string_view word);

// " G L ", " L, G " and, with a middle name, " G M L ", " L, G M ",
// " G I L ", " L, G I " for each alternative G of the first name (I is the
// middle name's first character). nullopt when the middle name is present but
// empty, or the first or last name is absent or empty.
std::optional<std::vector<std::string>> full_name_variants(std::optional<std::string_view> first,
                                                           std::optional<std::string_view> middle,
                                                           std::optional<std::string_view> last);

// An address whose words multiply into more combinations than this yields
// only the first kMaxAddressVariants of them.
inline constexpr size_t kMaxAddressVariants = 10000;
// Nor more lines than fit in this many bytes (the first line always comes):
// every line is about as long as the address, so a long address would
// otherwise cost ten thousand times its length, twice over once its assets
// are written. Real addresses stay far below it.
inline constexpr size_t kMaxAddressVariantBytes = size_t{4} << 20;

// Words separated by the space byte only; no empty words.
std::vector<std::string_view> split_words(std::string_view text);

// Every combination of one entry per list, joined by single spaces, the first
// list changing slowest; at most limit lines, in that order, and no more than
// fit in byte_limit bytes together (but always the first). nullopt for no
// lists; an empty list among them gives an empty result.
std::optional<std::vector<std::string>> join_product(
    std::span<const std::vector<std::string_view>> lists, size_t limit = kMaxAddressVariants,
    size_t byte_limit = kMaxAddressVariantBytes);

// Every combination of the forms of the address's words (at most
// kMaxAddressVariants, within kMaxAddressVariantBytes); nullopt when the
// address is absent or has no word.
std::optional<std::vector<std::string>> address_variants(std::optional<std::string_view> address);

// " CITY S ZIP " for each form S of the state, the given form first; nullopt
// when any field is absent.
std::optional<std::vector<std::string>> city_state_zip_variants(std::optional<std::string_view> city,
                                                                std::optional<std::string_view> state,
                                                                std::optional<std::string_view> zip);

}  // namespace korvi::variants
