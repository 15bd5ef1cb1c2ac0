#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "foundation/JsonLimits.hpp"

namespace veltrano {
namespace {

std::string nested(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(JsonLimits, RefusesWhatPassesALimitWithAMessageSayingWhich) {
  const JsonLimits small{.maxBytes = 64, .maxDepth = 3, .maxValues = 5, .maxStringBytes = 4};
  const std::pair<std::string, std::string> cases[] = {
      {"{\"a\": ", "not valid JSON: parse error at line 1, column 7"},
      {"[1] x", "not valid JSON"},
      {"[1e999]", "not valid JSON"},
      {"\"\xff\"", "not valid JSON"},
      {nested(4), "nests deeper than 3 levels"},
      {"[1, 2, 3, 4, 5]", "more than 5 values"},
      {"[[], {}, [], {}, []]", "more than 5 values"},
      {"[\"abcde\"]", "a string longer than 4 bytes"},
      {"{\"abcde\": 1}", "a string longer than 4 bytes"},
      {"[" + std::string(70, ' ') + "]", "longer than 64 bytes"},
  };
  for (const auto& [text, problem] : cases) {
    try {
      parseJson(text, small);
      ADD_FAILURE() << "accepted " << text;
    } catch (const JsonInputError& e) {
      EXPECT_NE(std::string(e.what()).find(problem), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(parseJson(nested(3), small), Json::parse(nested(3)));
  EXPECT_EQ(parseJson("[1, 2, 3, \"abcd\"]", small).size(), 4u);
  EXPECT_EQ(parseJson(nested(MAX_JSON_DEPTH)), Json::parse(nested(MAX_JSON_DEPTH)));
  EXPECT_THROW(parseJson(nested(MAX_JSON_DEPTH + 1)), JsonInputError);
}

// The object of 100,000 members that once took seconds: members keep their order, the last
// of a repeated name wins in the first one's place, as nlohmann's ordered_json does.
TEST(JsonLimits, LargeObjectsKeepOrderAndFindEveryMember) {
  std::string text = "{";
  for (int i = 0; i < 100'000; ++i)
    text += "\"k" + std::to_string(i) + "\": " + std::to_string(i) + ", ";
  text += "\"k7\": \"again\"}";
  Json parsed = parseJson(text);
  ASSERT_EQ(parsed.size(), 100'000u);
  int position = 0;
  for (const auto& [name, value] : parsed.items()) {
    ASSERT_EQ(name, "k" + std::to_string(position));
    ASSERT_EQ(parsed.at(name), position == 7 ? Json("again") : Json(position));
    ++position;
  }
}

// Random edits of an object, checked against a plain list searched linearly.
TEST(JsonLimits, ObjectsBehaveAsAnOrderedListOfMembersWhateverTheirSize) {
  std::mt19937 random(7);
  Json object = Json::object();
  std::vector<std::pair<std::string, int>> model;
  auto find = [&](const std::string& name) {
    for (std::size_t i = 0; i < model.size(); ++i)
      if (model[i].first == name)
        return static_cast<long>(i);
    return -1L;
  };
  for (int step = 0; step < 20'000; ++step) {
    const std::string name = "m" + std::to_string(random() % 300);
    const int value = static_cast<int>(random() % 1000);
    switch (random() % 6) {
      case 0:
      case 1:
        object[name] = value;
        if (long at = find(name); at >= 0)
          model[static_cast<std::size_t>(at)].second = value;
        else
          model.emplace_back(name, value);
        break;
      case 2:
        if (object.erase(name) == 1)
          model.erase(model.begin() + find(name));
        break;
      case 3:
        object.emplace(name, value);
        if (find(name) < 0)
          model.emplace_back(name, value);
        break;
      case 4:
        object = Json(object);  // a copy indexes itself anew
        break;
      default:
        if (model.size() > 250) {
          object.clear();
          model.clear();
        }
    }
    ASSERT_EQ(object.contains(name), find(name) >= 0);
  }
  ASSERT_EQ(object.size(), model.size());
  std::size_t i = 0;
  for (const auto& [name, value] : object.items()) {
    ASSERT_EQ(name, model[i].first);
    ASSERT_EQ(value, model[i].second);
    ASSERT_EQ(object.find(name)->get<int>(), model[i].second);
    ++i;
  }
}

}  // namespace
}  // namespace veltrano
