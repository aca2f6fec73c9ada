// Sorting of digests (64-bit words or four-word long digests) in the
// numeric order of their big-endian words, which is the byte order of their
// hex text. Kept apart so tests can feed it digests with chosen collisions.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
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

// Longer lists: digests are uniformly spread, so one in-place pass by the
// leading bits (each item swapped straight into its bucket) leaves small
// buckets that finish quickly. The buckets grow in number with the list (8
// to 12 leading bits, a few items each): with 256 buckets, the sorting of a
// 10,000-window text spent more time in its buckets than in hashing.
template <class T>
void sort_digests(std::vector<T>& items) {
  const size_t n = items.size();
  if (n <= kRankSortMax) {
    rank_sort(items.data(), n);
    return;
  }
  const int bits = std::clamp(static_cast<int>(std::bit_width(n)) - 2, 8, 12);
  const size_t buckets = size_t{1} << bits;
  const int shift = 64 - bits;
  // Bucket bounds on the stack for 256 buckets, on the heap beyond.
  std::array<size_t, 2 * 256 + 1> on_stack;
  std::vector<size_t> on_heap(bits > 8 ? 2 * buckets + 1 : 0);
  size_t* start = bits > 8 ? on_heap.data() : on_stack.data();
  size_t* next = start + buckets + 1;
  std::fill(start, start + buckets + 1, size_t{0});
  for (const T& item : items) ++start[(leading_word(item) >> shift) + 1];
  for (size_t b = 1; b <= buckets; ++b) start[b] += start[b - 1];
  std::copy(start, start + buckets, next);
  for (size_t bucket = 0; bucket < buckets; ++bucket) {
    while (next[bucket] < start[bucket + 1]) {
      T& item = items[next[bucket]];
      const auto home = static_cast<size_t>(leading_word(item) >> shift);
      if (home == bucket) {
        ++next[bucket];
      } else {
        std::swap(item, items[next[home]++]);
      }
    }
  }
  for (size_t bucket = 0; bucket < buckets; ++bucket) {
    T* first = items.data() + start[bucket];
    const size_t count = start[bucket + 1] - start[bucket];
    if (count <= 32) {
      insertion_sort(first, count);
    } else {
      std::sort(first, first + count);
    }
  }
}

}  // namespace korvi::core::detail
