#include "foundation/MapDb.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace veltrano {
namespace {

struct Item {
  std::string name;
  int id = 0;
  static constexpr auto fields() {
    return std::tuple{field("name", &Item::name), field("id", &Item::id)};
  }
};

const std::regex kUuid4("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$");

TEST(MapDb, GeneratedKeysAreDistinctUuidsInCallOrder) {
  MapDb<Item> map;
  auto first = map.add(Item{"a"});
  auto second = map.add(Item{"b"}, "");
  EXPECT_NE(first, second);
  EXPECT_TRUE(std::regex_match(first, kUuid4)) << first;
  EXPECT_TRUE(std::regex_match(second, kUuid4)) << second;
  EXPECT_EQ(map.at(0).name, "a");
  EXPECT_EQ(map.at(-1).name, "b");
}

TEST(MapDb, DuplicateKeyIsRefusedAndLeavesTheOldRecord) {
  MapDb<Item> map;
  map.add(Item{"old"}, "ID_ping");
  try {
    map.add(Item{"new"}, "ID_ping");
    FAIL() << "duplicate accepted";
  } catch (const KeyError& e) {
    EXPECT_STREQ(e.what(), "Key already exists");
  }
  EXPECT_EQ(map.get("ID_ping").name, "old");
  EXPECT_EQ(map.size(), 1u);
}

TEST(MapDb, OrderSurvivesRemovalAndIndexesCheckBounds) {
  MapDb<Item> map;
  for (const char* key : {"a", "b", "c", "d"}) map.add(Item{key}, key);
  EXPECT_EQ(map.remove("b").name, "b");
  std::string order;
  for (const auto& [key, item] : map) order += key;
  EXPECT_EQ(order, "acd");
  EXPECT_EQ(map.get("d").name, "d");
  EXPECT_EQ(map.at(-3).name, "a");
  EXPECT_THROW(map.at(3), std::out_of_range);
  EXPECT_THROW(map.at(-4), std::out_of_range);
  EXPECT_THROW(map.remove("b"), KeyError);
  EXPECT_EQ(map.find("b"), nullptr);
}

TEST(MapDb, AsTableAddsIdAfterMembersAndReplacesAField) {
  MapDb<Item> map;
  EXPECT_EQ(map.asTable(), Json::array());
  map.add(Item{"x", 5}, "k1");
  map.add(Item{"y", 6}, "k2");
  Json table = map.asTable();
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(toStoreText(table[0]), R"({"name": "x", "id": "k1"})");
  EXPECT_EQ(map.asTable([](const Item& item) { return item.name == "y"; }).size(), 1u);
  EXPECT_EQ(map.asTable([](const Item&) { return false; }), Json::array());
}

TEST(MapDb, FromDictReplacesContentInMemberOrder) {
  MapDb<Item> map;
  map.add(Item{"stale"}, "stale");
  map.fromDict(Json::parse(R"({"z": {"name": "last"}, "a": {"name": "first"}})"));
  ASSERT_EQ(map.size(), 2u);
  EXPECT_FALSE(map.contains("stale"));
  EXPECT_EQ(map.at(0).name, "last");
  EXPECT_EQ(map.at(1).name, "first");
}

TEST(MapDb, FailedFromDictKeepsTheOldContent) {
  MapDb<Item> map;
  map.add(Item{"kept"}, "kept");
  EXPECT_THROW(map.fromDict(Json::parse(R"({"a": {"name": 1}})")), DecodeError);
  EXPECT_TRUE(map.contains("kept"));
}

}  // namespace
}  // namespace veltrano
