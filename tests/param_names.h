// Names for the cases of parameterised tests that ctest can match again in
// every build: the case's index and a short label made of its description,
// instead of GoogleTest's default of the parameter's raw bytes.
#ifndef KORVI_TESTS_PARAM_NAMES_H_
#define KORVI_TESTS_PARAM_NAMES_H_

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace korvi_tests {

// "03_code_keeps_a_b" for case 3 described as "code keeps a + b":
// letters and digits kept, every other run of characters one underscore,
// at most max_label characters after the index (two digits at least, so the
// names sort in case order).
inline std::string ParamName(size_t index, const std::string& description, size_t max_label = 40) {
  std::string name = index < 10 ? "0" + std::to_string(index) : std::to_string(index);
  name += '_';
  const size_t start = name.size();
  for (char c : description) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (name.size() - start >= max_label) break;
    if (keep) {
      name += c;
    } else if (name.back() != '_') {
      name += '_';
    }
  }
  while (name.size() > start && name.back() == '_') name.pop_back();
  return name;
}

// A name generator for INSTANTIATE_TEST_SUITE_P over records with a `what`
// field that describes the case.
struct NameFromWhat {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return ParamName(info.index, info.param.what);
  }
};

}  // namespace korvi_tests

#endif  // KORVI_TESTS_PARAM_NAMES_H_
