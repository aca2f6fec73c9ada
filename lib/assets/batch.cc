// Batch assets: the fingerprints of one field for a whole column of records,
// gathered into flat arrays and handed over in one allocation.
#include "korvi/batch.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "assets/assets.h"
#include "base/boundary.h"
#include "base/utf8.h"
#include "core/fingerprints.h"
#include "core/sha512_batch.h"
#include "text/clean.h"
#include "variants/variants.h"

namespace korvi::assets {
namespace {

enum class Field { kName, kAddress, kCityStateZip, kEmail, kSsn, kPhone };

struct FieldSpec {
  std::string_view name;
  Field field;
  size_t columns;
};

constexpr FieldSpec kFields[] = {
    {"name", Field::kName, 3},        {"address", Field::kAddress, 1},
    {"city_state_zip", Field::kCityStateZip, 3}, {"email_address", Field::kEmail, 1},
    {"ssn", Field::kSsn, 1},          {"phone_number", Field::kPhone, 1},
};

constexpr size_t kHexDigits = KORVI_SHORT_FINGERPRINT_DIGITS;

uint64_t word_from_hex(const char* hex) noexcept {
  uint64_t word = 0;
  for (size_t i = 0; i < kHexDigits; ++i) {
    const char c = hex[i];
    word = (word << 4) | static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  return word;
}

bool blank(std::string_view text) noexcept {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The arrays of the answer while they grow.
class Collector {
 public:
  explicit Collector(bool distinct) : distinct_(distinct) {}

  void begin_row() { row_assets_ = 0; row_words_start_ = words_.size(); }

  void add_asset(uint32_t variant_id, const uint64_t* words, size_t count) {
    words_.insert(words_.end(), words, words + count);
    if (distinct_) return;
    variant_ids_.push_back(variant_id);
    fingerprints_per_asset_.push_back(static_cast<uint32_t>(count));
    ++row_assets_;
  }

  void end_row() {
    if (distinct_) {
      const auto first = words_.begin() + static_cast<std::ptrdiff_t>(row_words_start_);
      std::sort(first, words_.end());
      words_.erase(std::unique(first, words_.end()), words_.end());
      const size_t count = words_.size() - row_words_start_;
      if (count != 0) {
        variant_ids_.push_back(0);
        fingerprints_per_asset_.push_back(static_cast<uint32_t>(count));
        row_assets_ = 1;
      }
    }
    assets_per_row_.push_back(row_assets_);
  }

  // One malloc'd block: the record, then the words (8-byte aligned right
  // after it), the three count arrays and the hex text.
  KorviAssetBatch* release() const noexcept {
    const size_t rows = assets_per_row_.size(), assets = variant_ids_.size(), prints = words_.size();
    const size_t head = (sizeof(KorviAssetBatch) + 7) / 8 * 8;
    const size_t total = head + prints * 8 + (rows + 2 * assets) * 4 + prints * (kHexDigits + 1) + 1;
    auto* block = static_cast<unsigned char*>(std::malloc(total));
    if (block == nullptr) return nullptr;
    auto* out = reinterpret_cast<KorviAssetBatch*>(block);
    unsigned char* at = block + head;
    auto place = [&at](const void* data, size_t bytes) {
      if (bytes != 0) std::memcpy(at, data, bytes);
      unsigned char* start = at;
      at += bytes;
      return start;
    };
    out->rows = rows;
    out->assets = assets;
    out->fingerprints = prints;
    out->words = reinterpret_cast<const uint64_t*>(place(words_.data(), prints * 8));
    out->assets_per_row = reinterpret_cast<const uint32_t*>(place(assets_per_row_.data(), rows * 4));
    out->variant_ids = reinterpret_cast<const uint32_t*>(place(variant_ids_.data(), assets * 4));
    out->fingerprints_per_asset =
        reinterpret_cast<const uint32_t*>(place(fingerprints_per_asset_.data(), assets * 4));
    char* hex = reinterpret_cast<char*>(at);
    out->hex = hex;
    static constexpr char kDigits[] = "0123456789abcdef";
    for (const uint64_t word : words_) {
      for (size_t i = 0; i < kHexDigits; ++i) hex[i] = kDigits[(word >> (60 - 4 * i)) & 0xF];
      hex[kHexDigits] = ' ';
      hex += kHexDigits + 1;
    }
    *hex = '\0';
    return out;
  }

 private:
  bool distinct_;
  uint32_t row_assets_ = 0;
  size_t row_words_start_ = 0;
  std::vector<uint64_t> words_;
  std::vector<uint32_t> assets_per_row_, variant_ids_, fingerprints_per_asset_;
};

// The assets of one row's variants, numbered as json_assets_from_variants
// numbers them (a variant without fingerprints keeps its number). Every
// window of every variant is hashed in one batch, so the multi-buffer kernel
// fills its lanes even though most variants have only two or three tiles.
class VariantWriter {
 public:
  void write(const std::optional<std::vector<std::string>>& variants, Collector& out) {
    if (!variants) return;
    texts_.clear();
    pieces_.clear();
    assets_.clear();
    uint32_t counter = 0;
    for (const std::string& variant : *variants) {
      ++counter;
      if (base::count_codepoints(variant) > kWholeTextCodepoints) {
        add_tiles(variant, counter);
      } else {
        add_piece(variant);
        assets_.push_back({counter, pieces_.size() - 1, pieces_.size()});
      }
    }
    hash_pieces();
    for (const Pending& asset : assets_) {
      const auto first = words_.begin() + static_cast<std::ptrdiff_t>(asset.first);
      const auto last = words_.begin() + static_cast<std::ptrdiff_t>(asset.last);
      std::sort(first, last);
      const auto end = std::unique(first, last);
      out.add_asset(asset.variant_id, &*first, static_cast<size_t>(end - first));
    }
  }

 private:
  struct Piece {
    size_t offset, length;  // in texts_
  };
  struct Pending {
    uint32_t variant_id;
    size_t first, last;  // pieces (and words) of the asset
  };

  void add_piece(std::string_view bytes) {
    pieces_.push_back({texts_.size(), bytes.size()});
    texts_.append(bytes);
  }

  // Tiles of 14 code points of the variant cleaned again (12 or 13 padded
  // with a space at each end), the last one flush with the end when they do
  // not divide it; nothing when it cleans to 11 code points or fewer.
  void add_tiles(std::string_view variant, uint32_t variant_id) {
    cleaned_.clear();
    if (!text::clean_into(variant, CLEAN_TEXT, cleaned_)) return;
    size_t codepoints = base::count_codepoints(cleaned_);
    if (codepoints <= core::kTooShortCodepoints) return;
    if (codepoints < core::kWindowCodepoints) {
      cleaned_.insert(cleaned_.begin(), ' ');
      cleaned_.push_back(' ');
      codepoints += 2;
    }
    bounds_.clear();
    for (size_t i = 0; i < cleaned_.size(); ++i)
      if ((static_cast<unsigned char>(cleaned_[i]) & 0xC0) != 0x80) bounds_.push_back(i);
    bounds_.push_back(cleaned_.size());
    constexpr size_t kTile = core::kWindowCodepoints;
    const size_t first = pieces_.size();
    const auto tile = [&](size_t from) {
      add_piece(std::string_view(cleaned_).substr(bounds_[from], bounds_[from + kTile] - bounds_[from]));
    };
    for (size_t start = 0; start + kTile <= codepoints; start += kTile) tile(start);
    if (codepoints % kTile != 0) tile(codepoints - kTile);
    assets_.push_back({variant_id, first, pieces_.size()});
  }

  void hash_pieces() {
    views_.resize(pieces_.size());
    for (size_t i = 0; i < pieces_.size(); ++i)
      views_[i] = std::string_view(texts_).substr(pieces_[i].offset, pieces_[i].length);
    digests_.resize(views_.size() * core::kSha512Bytes);
    if (!views_.empty()) core::sha512_batch(views_.data(), views_.size(), core::kSalt, digests_.data());
    words_.resize(views_.size());
    for (size_t i = 0; i < views_.size(); ++i) {
      uint64_t word = 0;
      for (size_t b = 0; b < 8; ++b) word = (word << 8) | digests_[i * core::kSha512Bytes + b];
      words_[i] = word;
    }
  }

  std::string texts_, cleaned_;
  std::vector<size_t> bounds_;
  std::vector<Piece> pieces_;
  std::vector<Pending> assets_;
  std::vector<std::string_view> views_;
  std::vector<uint8_t> digests_;
  std::vector<uint64_t> words_;
};

class BatchBuilder {
 public:
  BatchBuilder(Field field, const KorviTextColumn* columns, bool distinct)
      : field_(field), columns_(columns), out_(distinct) {}

  void add_row(uint64_t row) {
    out_.begin_row();
    switch (field_) {
      case Field::kName: name(row); break;
      case Field::kAddress: address(row); break;
      case Field::kCityStateZip: city_state_zip(row); break;
      case Field::kEmail: single(row, CLEAN_CODE, true); break;
      case Field::kSsn:
      case Field::kPhone: single(row, CLEAN_DIGITS, false); break;
    }
    out_.end_row();
  }

  KorviAssetBatch* release() const noexcept { return out_.release(); }

 private:
  // The text of a column at a row, cut at a NUL byte; nullopt for a column
  // without texts.
  std::optional<std::string_view> text(size_t column, uint64_t row) const noexcept {
    const KorviTextColumn& c = columns_[column];
    if (c.bytes == nullptr || c.offsets == nullptr) return std::nullopt;
    std::string_view text(c.bytes + c.offsets[row], c.offsets[row + 1] - c.offsets[row]);
    return text.substr(0, text.find('\0'));
  }

  std::optional<std::string_view> present(size_t column, uint64_t row) const noexcept {
    auto value = text(column, row);
    if (value && blank(*value)) return std::nullopt;
    return value;
  }

  static std::optional<std::string> clean(std::optional<std::string_view> value, int mode) {
    if (!value) return std::nullopt;
    return text::clean(*value, mode);
  }

  static std::optional<std::string_view> view(const std::optional<std::string>& value) {
    if (!value) return std::nullopt;
    return std::string_view(*value);
  }

  void name(uint64_t row) {
    if (!present(0, row) && !present(1, row) && !present(2, row)) return;
    const auto first = clean(text(0, row), CLEAN_TEXT);
    const auto middle = clean(present(1, row), CLEAN_TEXT);
    const auto last = clean(text(2, row), CLEAN_TEXT);
    variants_.write(variants::full_name_variants(view(first), view(middle), view(last)), out_);
  }

  void address(uint64_t row) {
    if (!present(0, row)) return;
    const auto cleaned = clean(text(0, row), CLEAN_TEXT);
    variants_.write(variants::address_variants(view(cleaned)), out_);
  }

  void city_state_zip(uint64_t row) {
    if (!present(0, row) && !present(1, row) && !present(2, row)) return;
    const auto city = clean(text(0, row), CLEAN_TEXT);
    const auto state = clean(text(1, row), CLEAN_TEXT);
    const auto zip = clean(text(2, row), CLEAN_TEXT);
    variants_.write(variants::city_state_zip_variants(view(city), view(state), view(zip)), out_);
  }

  // One asset of the whole cleaned value; an e-mail address gets the
  // fingerprint of its fingerprint's hex text.
  void single(uint64_t row, int mode, bool twice) {
    const auto cleaned = clean(present(0, row), mode);
    if (!cleaned) return;
    char digits[KORVI_FINGERPRINT_DIGITS + 1];
    core::hash_hex(*cleaned, true, digits);
    if (twice) core::hash_hex(std::string_view(digits, kHexDigits), true, digits);
    const uint64_t word = word_from_hex(digits);
    out_.add_asset(1, &word, 1);
  }

  Field field_;
  const KorviTextColumn* columns_;
  Collector out_;
  VariantWriter variants_;
};

bool offsets_in_order(const KorviTextColumn& column, uint64_t rows) noexcept {
  if (column.bytes == nullptr || column.offsets == nullptr) return true;
  for (uint64_t i = 0; i < rows; ++i)
    if (column.offsets[i + 1] < column.offsets[i]) return false;
  return true;
}

}  // namespace
}  // namespace korvi::assets

extern "C" KORVI_API KorviAssetBatch* korvi_assets_batch(const char* field, uint64_t rows,
                                                         const KorviTextColumn* columns, size_t column_count,
                                                         uint32_t flags) noexcept {
  using namespace korvi::assets;
  if (field == nullptr || (columns == nullptr && rows != 0)) return nullptr;
  const FieldSpec* known = nullptr;
  for (const FieldSpec& candidate : kFields)
    if (candidate.name == field) known = &candidate;
  if (known == nullptr || column_count != known->columns) return nullptr;
  for (size_t c = 0; c < column_count && rows != 0; ++c)
    if (!offsets_in_order(columns[c], rows)) return nullptr;
  return korvi::base::guarded(
      [&]() -> KorviAssetBatch* {
        BatchBuilder builder(known->field, columns, (flags & KORVI_BATCH_DISTINCT) != 0);
        for (uint64_t row = 0; row < rows; ++row) builder.add_row(row);
        return builder.release();
      },
      static_cast<KorviAssetBatch*>(nullptr));
}
