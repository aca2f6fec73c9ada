// Column mapping: option lists, guesses from common column names, and the
// lookup of mapped columns in a CSV header.
#include "mapping.h"

#include <cctype>
#include <initializer_list>
#include <utility>

namespace korvi_cli {

const std::array<const char*, kFields> kFieldKeys = {
    "name", "address", "city_state_zip", "email_address", "ssn", "phone_number", "date_of_birth"};

namespace {

struct SlotInfo {
  Field field;
  bool required;  // for the field to be written
  const char* option;
  std::initializer_list<const char*> aliases;  // normalised column names, best first
};

// Normalised names: lower-case ASCII letters and digits only, so "First Name",
// "first_name" and "FirstName" all read "firstname".
const std::array<SlotInfo, kSlots> kSlotInfo = {{
    {kName, true, "--name", {"firstname", "givenname", "first", "fname", "forename"}},
    {kName, false, "--name", {"middlename", "middle", "middleinitial", "mname", "mi"}},
    {kName, true, "--name", {"lastname", "surname", "familyname", "last", "lname"}},
    {kAddressField, true, "--address",
     {"address", "streetaddress", "street", "address1", "addressline1", "addr"}},
    {kCityStateZip, true, "--city-state-zip", {"city", "town"}},
    {kCityStateZip, true, "--city-state-zip", {"state", "statecode", "st"}},
    {kCityStateZip, true, "--city-state-zip", {"zip", "zipcode", "postalcode", "postcode", "zip5"}},
    {kEmailAddress, true, "--email", {"email", "emailaddress", "email1", "mail"}},
    {kSsnField, true, "--ssn", {"ssn", "socialsecuritynumber", "socialsecurity"}},
    {kPhoneNumber, true, "--phone", {"phone", "phonenumber", "telephone", "tel", "mobile", "phone1"}},
    {kDateOfBirth, true, "--dob", {"dob", "dateofbirth", "birthdate", "birthday", "dateborn"}},
    {kFields, false, "--id", {"id", "recordid", "customerid", "personid", "clientid"}},
}};

std::string normalised(const std::string& name) {
  std::string out;
  for (unsigned char c : name)
    if (std::isalnum(c) && c < 0x80) out.push_back(static_cast<char>(std::tolower(c)));
  return out;
}

std::vector<std::string> split_list(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

// "--name first=A,middle=B,last=C" or "A,B,C" / "A,C"; "--city-state-zip
// city=A,state=B,zip=C" or "A,B,C". keys lists the slots in positional order.
void parse_list(Mapping& m, const std::string& text, const char* option,
                std::initializer_list<std::pair<const char*, Slot>> keys, bool two_means_first_last) {
  auto parts = split_list(text);
  bool named = text.find('=') != std::string::npos;
  auto fail = [&](const std::string& why) {
    throw UsageError(std::string(option) + " \"" + text + "\": " + why);
  };
  if (named) {
    for (const auto& part : parts) {
      size_t eq = part.find('=');
      if (eq == std::string::npos) fail("write every column as KEY=COLUMN");
      std::string key = part.substr(0, eq), column = part.substr(eq + 1);
      const std::pair<const char*, Slot>* found = nullptr;
      for (const auto& k : keys)
        if (key == k.first) found = &k;
      if (found == nullptr) {
        std::string known;
        for (const auto& k : keys) known += std::string(known.empty() ? "" : ", ") + k.first;
        fail("unknown key \"" + key + "\" (keys: " + known + ")");
      }
      if (column.empty()) fail("empty column name for " + key);
      if (!m.column[found->second].empty()) fail("key " + key + " given twice");
      m.column[found->second] = column;
      m.origin[found->second] = option;
    }
  } else {
    std::vector<Slot> order;
    for (const auto& k : keys) order.push_back(k.second);
    if (two_means_first_last && parts.size() == 2) order = {order.front(), order.back()};
    if (parts.size() != order.size())
      fail(two_means_first_last ? "give 2 or 3 columns, or KEY=COLUMN pairs"
                                : "give 3 columns, or KEY=COLUMN pairs");
    for (size_t i = 0; i < parts.size(); ++i) {
      if (parts[i].empty()) fail("empty column name");
      m.column[order[i]] = parts[i];
      m.origin[order[i]] = option;
    }
  }
  for (const auto& k : keys)
    if (kSlotInfo[k.second].required && m.column[k.second].empty())
      fail(std::string("missing key ") + k.first);
}

// One column, or several separated by commas whose values are joined with
// one space.
void set_single(Mapping& m, Slot slot, const std::string& column) {
  if (column.empty()) return;
  auto parts = split_list(column);
  for (const auto& part : parts)
    if (part.empty())
      throw UsageError(std::string(kSlotInfo[slot].option) + " \"" + column + "\": empty column name");
  m.column[slot] = parts[0];
  m.more_columns[slot].assign(parts.begin() + 1, parts.end());
  m.origin[slot] = kSlotInfo[slot].option;
}

bool field_given(const Mapping& m, Field field) {
  for (int s = 0; s < kSlots; ++s)
    if (kSlotInfo[s].field == field && !m.column[s].empty()) return true;
  return false;
}

// Index of column name in the header: an exact match, else the only match
// ignoring ASCII letter case.
int find_column(const std::vector<std::string>& columns, const std::string& name,
                const std::string& origin) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (int pass = 0; pass < 2; ++pass) {
    int found = -1, count = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
      bool match = pass == 0 ? columns[i] == name : lower(columns[i]) == lower(name);
      if (match && count++ == 0) found = static_cast<int>(i);
    }
    if (count == 1) return found;
    if (count > 1)
      throw UsageError("column \"" + name + "\" given to " + origin + " appears " +
                       std::to_string(count) + " times in the header");
  }
  std::string list;
  for (const auto& c : columns) list += (list.empty() ? "" : ", ") + c;
  throw UsageError("column \"" + name + "\" given to " + origin +
                   " is not in the header (columns: " + list + ")");
}

}  // namespace

bool Mapping::any_field() const {
  for (bool on : field_on)
    if (on) return true;
  return false;
}

Mapping mapping_from_options(const AssetsOptions& o) {
  Mapping m;
  if (!o.name.empty())
    parse_list(m, o.name, "--name", {{"first", kFirst}, {"middle", kMiddle}, {"last", kLast}}, true);
  if (!o.city_state_zip.empty())
    parse_list(m, o.city_state_zip, "--city-state-zip",
               {{"city", kCity}, {"state", kState}, {"zip", kZip}}, false);
  set_single(m, kAddress, o.address);
  set_single(m, kEmail, o.email);
  set_single(m, kSsn, o.ssn);
  set_single(m, kPhone, o.phone);
  set_single(m, kDob, o.dob);
  set_single(m, kId, o.id);
  return m;
}

Mapping resolve_mapping(Mapping m, const std::vector<std::string>& columns, bool guess,
                        bool header_fixed) {
  if (guess) {
    std::vector<std::string> norm;
    for (const auto& c : columns) norm.push_back(normalised(c));
    auto guess_slot = [&](int s) -> std::string {
      for (const char* alias : kSlotInfo[s].aliases)
        for (size_t i = 0; i < columns.size(); ++i)
          if (norm[i] == alias) return columns[i];
      return {};
    };
    for (int f = 0; f <= kFields; ++f) {
      // kFields stands for the record id, which belongs to no field.
      bool given = f == kFields ? !m.column[kId].empty() : field_given(m, static_cast<Field>(f));
      if (given) continue;
      std::array<std::string, kSlots> found;
      bool complete = true;
      for (int s = 0; s < kSlots; ++s) {
        if (kSlotInfo[s].field != f) continue;
        found[s] = guess_slot(s);
        if (found[s].empty() && (kSlotInfo[s].required || f == kFields)) complete = false;
      }
      if (!complete) continue;
      for (int s = 0; s < kSlots; ++s) {
        if (kSlotInfo[s].field != f || found[s].empty()) continue;
        m.column[s] = found[s];
        m.origin[s] = std::string(kSlotInfo[s].option) + " (guessed)";
      }
    }
  }
  for (int s = 0; s < kSlots; ++s) {
    m.index[s] = -1;
    if (!m.column[s].empty() && header_fixed) {
      m.index[s] = find_column(columns, m.column[s], m.origin[s]);
      m.column[s] = columns[m.index[s]];
      m.more_index[s].clear();
      for (auto& more : m.more_columns[s]) {
        m.more_index[s].push_back(find_column(columns, more, m.origin[s]));
        more = columns[m.more_index[s].back()];
      }
    }
  }
  for (int f = 0; f < kFields; ++f) {
    bool on = true, any = false;
    for (int s = 0; s < kSlots; ++s) {
      if (kSlotInfo[s].field != f) continue;
      if (!m.column[s].empty()) any = true;
      if (kSlotInfo[s].required && m.column[s].empty()) on = false;
    }
    m.field_on[f] = on && any;
  }
  if (!m.any_field())
    throw UsageError(
        "no column is mapped to any field: name the columns with --name, --address, "
        "--city-state-zip, --email, --ssn or --phone (see korvi assets --help)");
  return m;
}

}  // namespace korvi_cli
