#include "foundation/MapDb.hpp"
#include "foundation/Record.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace veltrano {
namespace {

// Records declared outside namespace veltrano reach its equality through this.
using veltrano::operator==;

// A small value type with its own text form, like a time of day.
struct Minute {
  int h = 0;
  int m = 0;
  std::string encode() const {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d", h, m);
    return buffer;
  }
  static Minute decode(std::string_view text) {
    if (text.size() != 5 || text[2] != ':') throw std::invalid_argument("bad minute");
    return {std::stoi(std::string(text.substr(0, 2))), std::stoi(std::string(text.substr(3, 2)))};
  }
  bool operator==(const Minute&) const = default;
  static constexpr auto fields() { return std::tuple{field("h", &Minute::h), field("m", &Minute::m)}; }
};

enum class Colour { RED = 1, GREEN = 7 };
constexpr std::array<Colour, 2> enumValues(Colour) { return {Colour::RED, Colour::GREEN}; }

struct Leaf {
  std::string label = "leaf";
  double weight = 1.0;
  std::optional<std::string> note;
  static constexpr auto fields() {
    return std::tuple{field("label", &Leaf::label), field("weight", &Leaf::weight),
                      field("note", &Leaf::note)};
  }
};

struct Tree {
  int version = 2;
  bool alive = true;
  Colour colour = Colour::GREEN;
  Leaf crown;
  std::vector<Minute> times;
  std::vector<Leaf> leaves;
  MapDb<Leaf> named;
  int privateCounter = -1;
  static constexpr auto fields() {
    return std::tuple{field("version", &Tree::version),     field("alive", &Tree::alive),
                      field("colour", &Tree::colour),       field("crown", &Tree::crown),
                      field("times", &Tree::times),         field("leaves", &Tree::leaves),
                      field("named", &Tree::named),         field("_counter", &Tree::privateCounter)};
  }
};

Tree sampleTree() {
  Tree tree;
  tree.crown = Leaf{"Kör\u00f6s \U0001F514", 0.5, std::nullopt};
  tree.times = {Minute{8, 5}, Minute{23, 59}};
  tree.leaves = {Leaf{"a", 2.0, "x"}};
  tree.named.add(Leaf{"ping", 3.0, std::nullopt}, "ID_ping");
  tree.named.add(Leaf{"ring", 0.25, std::nullopt}, "ID_ring");
  return tree;
}

TEST(RecordText, GoldenBytesOfNestedRecordWithNonAscii) {
  EXPECT_EQ(toJson(sampleTree()),
            "{\"version\": 2, \"alive\": true, \"colour\": 7, "
            "\"crown\": {\"label\": \"K\\u00f6r\\u00f6s \\ud83d\\udd14\", \"weight\": 0.5, \"note\": null}, "
            "\"times\": [\"08:05\", \"23:59\"], "
            "\"leaves\": [{\"label\": \"a\", \"weight\": 2.0, \"note\": \"x\"}], "
            "\"named\": {\"ID_ping\": {\"label\": \"ping\", \"weight\": 3.0, \"note\": null}, "
            "\"ID_ring\": {\"label\": \"ring\", \"weight\": 0.25, \"note\": null}}, "
            "\"_counter\": -1}");
}

TEST(RecordText, RoundTripKeepsEveryFieldAndOrder) {
  Tree original = sampleTree();
  Tree decoded = fromJson<Tree>(toJson(original));
  EXPECT_EQ(decoded, original);
  EXPECT_EQ(decoded.named.at(0).label, "ping");
  EXPECT_EQ(decoded.named.at(-1).label, "ring");
  EXPECT_EQ(toJson(decoded), toJson(original));
}

TEST(RecordDecoding, MissingNullAndUnknownMembers) {
  Tree fromEmpty = fromJson<Tree>("{}");
  EXPECT_EQ(fromEmpty, Tree{});

  Tree partial = fromJson<Tree>(
      R"({"version": null, "alive": false, "surplus": [1, 2], "crown": {"weight": 4}})");
  EXPECT_EQ(partial.version, 2);
  EXPECT_FALSE(partial.alive);
  EXPECT_EQ(partial.crown.label, "leaf");
  EXPECT_DOUBLE_EQ(partial.crown.weight, 4.0);
}

TEST(RecordDecoding, WrongTypesNameTheMember) {
  struct Case {
    const char* json;
    const char* member;
  };
  const Case cases[] = {
      {R"({"version": "2"})", "'version'"},
      {R"({"alive": 1})", "'alive'"},
      {R"({"colour": 3})", "'colour'"},
      {R"({"crown": {"label": 5}})", "'crown.label'"},
      {R"({"times": ["08:05", "8h"]})", "'times[1]'"},
      {R"({"leaves": {}})", "'leaves'"},
      {R"({"named": {"k": {"weight": "heavy"}}})", "'named.k.weight'"},
      {R"({"version": 2.5})", "'version'"},
      // Floats at and beyond an integer's range must be refused, not converted.
      {R"({"version": 2147483648.0})", "'version'"},
      {R"({"version": -2147483649.0})", "'version'"},
      {R"({"version": 9223372036854775808.0})", "'version'"},
      {R"({"version": 1e300})", "'version'"},
      {R"([])", "(root)"},
  };
  for (const auto& c : cases) {
    try {
      fromJson<Tree>(c.json);
      ADD_FAILURE() << "accepted " << c.json;
    } catch (const DecodeError& e) {
      EXPECT_NE(std::string(e.what()).find(c.member), std::string::npos)
          << c.json << " -> " << e.what();
    }
  }
  EXPECT_THROW(fromJson<Tree>("{not json"), DecodeError);
}

TEST(RecordDecoding, IntegralFloatIsAnInteger) {
  EXPECT_EQ(fromJson<Tree>(R"({"version": 3.0})").version, 3);
  EXPECT_EQ(fromJson<Tree>(R"({"version": -2147483648.0})").version, -2147483647 - 1);
}

TEST(RecordText, InvalidUtf8InAValueStillSaves) {
  Tree tree;
  tree.crown.label = "a\xff\xc3";
  EXPECT_NE(toJson(tree).find(R"("label": "a\ufffd\ufffd")"), std::string::npos);
}

TEST(RecordHash, SensitiveToEveryFieldElementKeyAndOrder) {
  const Tree base = sampleTree();
  const auto baseHash = contentHash(base);
  EXPECT_EQ(contentHash(sampleTree()), baseHash);

  std::vector<Tree> changed(8, base);
  changed[0].version = 3;
  changed[1].crown.note = "";
  changed[2].times[1].m = 58;
  changed[3].times.push_back(Minute{});
  changed[4].named.remove("ID_ping");
  changed[5].named = MapDb<Leaf>{};
  changed[5].named.add(Leaf{"ring", 0.25, std::nullopt}, "ID_ring");
  changed[5].named.add(Leaf{"ping", 3.0, std::nullopt}, "ID_ping");
  changed[6].colour = Colour::RED;
  changed[7].privateCounter = 0;
  for (std::size_t i = 0; i < changed.size(); ++i) {
    EXPECT_NE(contentHash(changed[i]), baseHash) << "change " << i;
    EXPECT_NE(changed[i], base) << "change " << i;
  }
}

TEST(RecordAttributes, ValueTypesShowTheirFields) {
  Json attributes = toAttributeMap(sampleTree());
  EXPECT_EQ(attributes["times"][0], (Json{{"h", 8}, {"m", 5}}));
  EXPECT_EQ(attributes["colour"], 7);
  EXPECT_EQ(attributes["_counter"], -1);
}

}  // namespace
}  // namespace veltrano
