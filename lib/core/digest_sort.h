// Sorting of digests (64-bit words or four-word long digests) in the
// numeric order of their big-endian words, which is the byte order of their
// hex text. Kept apart so tests can feed it digests with chosen collisions.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/fingerprints.h"

namespace korvi::core::detail {

template <class T>
void insertion_sort(T* items, size_t n) {
  for (size_t i = 1; i < n; ++i) {
    const T item = items[i];
    size_t j = i;
    for (; j > 0 && item < items[j - 1]; --j) items[j] = items[j - 1];
    items[j] = item;
  }
}

inline uint64_t leading_word(uint64_t word) noexcept { return word; }
inline uint64_t leading_word(const Fingerprints::Long& digest) noexcept { return digest.words[0]; }

// Short lists (a name gives about ten digests) are placed by rank: each
// item's position is the number of items before it in order, counted
// without branches on the leading word, so no comparison is mispredicted.
// Equal leading words (a repeated window, or otherwise odds of about n*n in
// 2^64) keep text order, so such a list is finished by insertion sort on
// whole digests.
inline constexpr size_t kRankSortMax = 32;

template <class T>
void rank_sort(T* items, size_t n) {
  uint64_t keys[kRankSortMax];
  for (size_t i = 0; i < n; ++i) keys[i] = leading_word(items[i]);
  T sorted[kRankSortMax];
  for (size_t i = 0; i < n; ++i) {
    const uint64_t key = keys[i];
    size_t rank = 0;
    for (size_t j = 0; j < i; ++j) rank += keys[j] <= key;
    for (size_t j = i + 1; j < n; ++j) rank += keys[j] < key;
    sorted[rank] = items[i];
  }
  bool ties = false;
  for (size_t i = 1; i < n; ++i) ties |= leading_word(sorted[i]) == leading_word(sorted[i - 1]);
  std::copy(sorted, sorted + n, items);
  if (ties) insertion_sort(items, n);
}

// A group of digests left unordered by a pass over their leading bits:
// insertion sort while short, std::sort when long (one window repeated all
// through a repetitive text).
template <class T>
void sort_group(T* first, size_t count) {
  if (count <= 32) {
    insertion_sort(first, count);
  } else {
    std::sort(first, first + count);
  }
}

// Lists of up to kRadixSortMax digests: a least-significant-digit radix
// sort on the top one or two bytes of the leading word (two from 256 items,
// so that there are more prefixes than items) leaves the list in order but
// for short runs of equal prefixes, finished in place. The passes move items
// without a branch on their values; sorting in place into buckets instead
// (below) cost a quarter of a 10,000-window text's time, mostly in
// mispredicted branches. The scratch copy is at most 2 MiB.
inline constexpr size_t kRadixSortMax = 65535;

template <class T>
void radix_sort(T* items, size_t n) {
  const int passes = n < 256 ? 1 : 2;
  // Counts of each pass's byte (pass 0 the lower of the two), both taken in
  // one read of the list.
  std::array<std::array<size_t, 256>, 2> counts{};
  const int lowest_shift = 64 - 8 * passes;
  for (size_t i = 0; i < n; ++i) {
    const uint64_t key = leading_word(items[i]);
    for (int pass = 0; pass < passes; ++pass) ++counts[pass][(key >> (lowest_shift + 8 * pass)) & 0xFF];
  }
  // Default-initialised: the scratch is written before it is read.
  std::unique_ptr<T[]> scratch(new T[n]);
  T* from = items;
  T* to = scratch.get();
  for (int pass = 0; pass < passes; ++pass) {
    std::array<size_t, 256> next;
    size_t sum = 0;
    for (size_t digit = 0; digit < 256; ++digit) {
      next[digit] = sum;
      sum += counts[pass][digit];
    }
    const int shift = lowest_shift + 8 * pass;
    for (size_t i = 0; i < n; ++i) to[next[(leading_word(from[i]) >> shift) & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  if (from != items) std::copy(from, from + n, items);

  // Runs of a shared prefix, in text order within each run.
  for (size_t i = 0; i < n;) {
    const uint64_t prefix = leading_word(items[i]) >> lowest_shift;
    size_t end = i + 1;
    while (end < n && (leading_word(items[end]) >> lowest_shift) == prefix) ++end;
    sort_group(items + i, end - i);
    i = end;
  }
}

// Longer lists (a text of tens of thousands of windows and more, whose
// digests may take tens of megabytes) are sorted without a second copy: one
// in-place pass by the leading 12 bits (each item swapped straight into its
// bucket) leaves small buckets that finish quickly.
template <class T>
void bucket_sort(T* items, size_t n) {
  constexpr int kBits = 12;
  constexpr size_t kBuckets = size_t{1} << kBits;
  constexpr int kShift = 64 - kBits;
  std::vector<size_t> bounds(2 * kBuckets + 1, 0);
  size_t* start = bounds.data();
  size_t* next = start + kBuckets + 1;
  for (size_t i = 0; i < n; ++i) ++start[(leading_word(items[i]) >> kShift) + 1];
  for (size_t b = 1; b <= kBuckets; ++b) start[b] += start[b - 1];
  std::copy(start, start + kBuckets, next);
  for (size_t bucket = 0; bucket < kBuckets; ++bucket) {
    while (next[bucket] < start[bucket + 1]) {
      T& item = items[next[bucket]];
      const auto home = static_cast<size_t>(leading_word(item) >> kShift);
      if (home == bucket) {
        ++next[bucket];
      } else {
        std::swap(item, items[next[home]++]);
      }
    }
  }
  for (size_t bucket = 0; bucket < kBuckets; ++bucket) {
    sort_group(items + start[bucket], start[bucket + 1] - start[bucket]);
  }
}

template <class T>
void sort_digests(std::vector<T>& items) {
  const size_t n = items.size();
  if (n <= kRankSortMax) {
    rank_sort(items.data(), n);
  } else if (n <= kRadixSortMax) {
    radix_sort(items.data(), n);
  } else {
    bucket_sort(items.data(), n);
  }
}

}  // namespace korvi::core::detail
