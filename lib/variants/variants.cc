#include "variants/variants.h"

#include <algorithm>
#include <initializer_list>

#include "base/utf8.h"

namespace korvi::variants {

std::span<const std::string_view> lookup_alternates(const AlternatesTable& table,
                                                    std::string_view word) noexcept {
  if (table.slots.empty()) return {};
  // At most half the slots are taken, so a probe run always meets an empty one.
  const size_t mask = table.slots.size() - 1;
  for (size_t slot = key_hash(word) & mask; table.slots[slot] != 0; slot = (slot + 1) & mask) {
    const size_t group = table.slots[slot] - 1u;
    if (table.entries[table.starts[group]] == word) return table.group(group);
  }
  return {};
}

std::vector<std::string_view> alternatives(const AlternatesTable& table, std::string_view word) {
  const auto group = lookup_alternates(table, word);
  if (group.empty()) return {word};
  return {group.begin(), group.end()};
}

namespace {

std::string concat(std::initializer_list<std::string_view> parts) {
  size_t size = 0;
  for (auto part : parts) size += part.size();
  std::string out;
  out.reserve(size);
  for (auto part : parts) out.append(part);
  return out;
}

// The whole first character, so a non-ASCII initial stays valid UTF-8; a
// malformed start (never seen after cleaning) falls back to its first byte.
std::string_view first_character(std::string_view text) {
  const base::Utf8Sequence sequence =
      base::decode_utf8(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  return text.substr(0, sequence.valid ? static_cast<size_t>(sequence.length) : 1);
}

}  // namespace

std::optional<std::vector<std::string>> full_name_variants(std::optional<std::string_view> first,
                                                           std::optional<std::string_view> middle,
                                                           std::optional<std::string_view> last) {
  // Only an absent middle name means "no middle name"; an empty one rejects.
  if (middle && middle->empty()) return std::nullopt;
  if (!first || first->empty()) return std::nullopt;
  if (!last || last->empty()) return std::nullopt;

  const auto givens = alternatives(kNameAlternates, *first);
  std::vector<std::string> out;
  out.reserve(givens.size() * (middle ? 6 : 2));
  const std::string_view l = *last;
  for (const std::string_view g : givens) {
    out.push_back(concat({" ", g, " ", l, " "}));
    out.push_back(concat({" ", l, ", ", g, " "}));
    if (middle) {
      const std::string_view m = *middle;
      const std::string_view i = first_character(m);
      out.push_back(concat({" ", g, " ", m, " ", l, " "}));
      out.push_back(concat({" ", l, ", ", g, " ", m, " "}));
      out.push_back(concat({" ", g, " ", i, " ", l, " "}));
      out.push_back(concat({" ", l, ", ", g, " ", i, " "}));
    }
  }
  return out;
}

std::vector<std::string_view> split_words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ' ') {
      ++pos;
      continue;
    }
    const size_t end = std::min(text.find(' ', pos), text.size());
    words.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return words;
}

std::optional<std::vector<std::string>> join_product(
    std::span<const std::vector<std::string_view>> lists, size_t limit, size_t byte_limit) {
  if (lists.empty()) return std::nullopt;
  // The number of lines, saturating at limit so huge products cannot overflow.
  size_t total = 1;
  for (const auto& list : lists) {
    if (list.empty()) return std::vector<std::string>{};
    if (total > limit / list.size()) {
      total = limit;
    } else {
      total = std::min(total * list.size(), limit);
    }
  }

  // An odometer over the lists, the last position turning fastest.
  std::vector<size_t> digits(lists.size(), 0);
  std::vector<std::string> out;
  out.reserve(total);
  size_t bytes = 0;
  for (size_t line = 0; line < total; ++line) {
    std::string text;
    for (size_t i = 0; i < lists.size(); ++i) {
      if (i != 0) text.push_back(' ');
      text.append(lists[i][digits[i]]);
    }
    // The first line alone may pass the limit; no line joins it then.
    if (line > 0 && (bytes > byte_limit || text.size() > byte_limit - bytes)) break;
    bytes += text.size();
    out.push_back(std::move(text));
    for (size_t i = lists.size(); i-- > 0;) {
      if (++digits[i] < lists[i].size()) break;
      digits[i] = 0;
    }
  }
  return out;
}

std::optional<std::vector<std::string>> address_variants(std::optional<std::string_view> address) {
  if (!address) return std::nullopt;
  const auto words = split_words(*address);
  if (words.empty()) return std::nullopt;
  std::vector<std::vector<std::string_view>> forms;
  forms.reserve(words.size());
  for (const std::string_view word : words) forms.push_back(alternatives(kAddressAlternates, word));
  return join_product(forms, kMaxAddressVariants, kMaxAddressVariantBytes);
}

std::optional<std::vector<std::string>> city_state_zip_variants(std::optional<std::string_view> city,
                                                                std::optional<std::string_view> state,
                                                                std::optional<std::string_view> zip) {
  if (!city || !state || !zip) return std::nullopt;
  std::vector<std::string> out;
  for (const std::string_view s : alternatives(kStateAlternates, *state)) {
    out.push_back(concat({" ", *city, " ", s, " ", *zip, " "}));
  }
  return out;
}

}  // namespace korvi::variants
