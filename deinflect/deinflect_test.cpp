// The deinflection table: the loader on the table we ship and on malformed
// ones, the walk from inflected surfaces to dictionary forms (every verb and
// adjective class, chains, bound stems), and the listing's description.
#include "deinflect/deinflect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/convert.h"
#include "platform/recording.h"
#include "tests/testing.h"

namespace {

using testing_support::euc;
using testing_support::ScratchDir;

const std::string kShippedTable = std::string(DODEVUZ_SOURCE_DATA_DIR) + "/deinflect.txt";

bool parse(const std::string& utf8) {
  const std::string text = euc(utf8);
  return parse_deinflect_table(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

// A word reached from a surface: the form and the class its last rule needs.
struct Reached {
  std::string form;   // UTF-8
  std::string klass;  // a word class the entry must carry
};

class DeinflectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_deinflect();
  }
  void TearDown() override { reset_deinflect(); }

  void load_shipped() {
    testing_support::write_file(kDeinflectFile, testing_support::read_file(kShippedTable));
    ASSERT_TRUE(load_deinflect_table(nullptr)) << deinflect.error;
  }

  std::vector<Form> forms_of(const std::string& surface_utf8) {
    const std::string surface = euc(surface_utf8);
    std::vector<Form> forms(kMaxForms);
    const int n = deinflect_word(reinterpret_cast<const unsigned char*>(surface.data()),
                                 surface.size(), forms.data(), kMaxForms);
    forms.resize(n);
    return forms;
  }

  // Whether the walk reaches form with a last rule that allows klass.
  bool reaches(const std::string& surface, const Reached& want) {
    const int k = class_index(want.klass.data(), want.klass.size());
    if (k < 0) return false;
    const std::string form = euc(want.form);
    for (const Form& f : forms_of(surface)) {
      if (f.step_count > 0 && (f.classes >> k & 1) != 0 &&
          std::string(reinterpret_cast<const char*>(f.text), f.length) == form) {
        return true;
      }
    }
    return false;
  }

  std::string describe(const std::string& surface_utf8, const Reached& want,
                       size_t out_size = kFormsPrefix) {
    const std::string surface = euc(surface_utf8);
    const int k = class_index(want.klass.data(), want.klass.size());
    const std::string form = euc(want.form);
    for (const Form& f : forms_of(surface_utf8)) {
      if (f.step_count == 0 || k < 0 || (f.classes >> k & 1) == 0 ||
          std::string(reinterpret_cast<const char*>(f.text), f.length) != form) {
        continue;
      }
      std::vector<unsigned char> out(out_size + 8, 0xEE);
      describe_form(reinterpret_cast<const unsigned char*>(surface.data()), surface.size(), f,
                    out.data(), out_size);
      EXPECT_EQ(out[out_size], 0xEE) << "written past the end";
      return euc_to_utf8(reinterpret_cast<const char*>(out.data()));
    }
    return "(not reached)";
  }

  static constexpr size_t kFormsPrefix = 128;
  ScratchDir dir_;
};

TEST_F(DeinflectTest, TheShippedTableLoads) {
  load_shipped();
  EXPECT_TRUE(deinflect.loaded);
  EXPECT_GT(deinflect.rule_count, 100);
  for (const char* name : {"v1", "v5k", "v5k-s", "v5r-i", "vk", "vs-i", "vs", "adj-i", "adj-ix"}) {
    const int k = class_index(name, std::strlen(name));
    ASSERT_GE(k, 0) << name;
    EXPECT_EQ(deinflect.word_classes >> k & 1, 1u) << name;
  }
  for (const char* stem : {"STEM", "TE", "TA", "NEG-", "A-"}) {
    const int k = class_index(stem, std::strlen(stem));
    ASSERT_GE(k, 0) << stem;
    EXPECT_EQ(deinflect.stems >> k & 1, 1u) << stem;
  }
  // Nouns that take する keep their own form: they are no inflecting class.
  EXPECT_EQ(deinflect.inflecting >> class_index("vs", 2) & 1, 0u);
  EXPECT_EQ(deinflect.inflecting >> class_index("v1", 2) & 1, 1u);
  EXPECT_TRUE(recording.messages.empty());
}

TEST_F(DeinflectTest, GodanEndingsGoBackToTheirDictionaryEnding) {
  load_shipped();
  // te-form, past, negative and polite of every godan row.
  const std::vector<std::pair<std::vector<std::string>, Reached>> cases = {
      {{"書いて", "書いた", "書かない", "書きます"}, {"書く", "v5k"}},
      {{"泳いで", "泳いだ", "泳がない", "泳ぎます"}, {"泳ぐ", "v5g"}},
      {{"話して", "話した", "話さない", "話します"}, {"話す", "v5s"}},
      {{"待って", "待った", "待たない", "待ちます"}, {"待つ", "v5t"}},
      {{"死んで", "死んだ", "死なない", "死にます"}, {"死ぬ", "v5n"}},
      {{"遊んで", "遊んだ", "遊ばない", "遊びます"}, {"遊ぶ", "v5b"}},
      {{"読んで", "読んだ", "読まない", "読みます"}, {"読む", "v5m"}},
      {{"帰って", "帰った", "帰らない", "帰ります"}, {"帰る", "v5r"}},
      {{"買って", "買った", "買わない", "買います"}, {"買う", "v5u"}},
      {{"行って", "行った", "行かない", "行きます"}, {"行く", "v5k-s"}},
  };
  for (const auto& [surfaces, want] : cases) {
    for (const std::string& s : surfaces) EXPECT_TRUE(reaches(s, want)) << s << " -> " << want.form;
  }
  // Potential, passive, causative, conditional, volitional, imperative.
  for (const char* s : {"書ける", "書かれる", "書かせる", "書けば", "書こう", "書け"}) {
    EXPECT_TRUE(reaches(s, {"書く", "v5k"})) << s;
  }
}

TEST_F(DeinflectTest, IchidanIrregularAndAdjectiveForms) {
  load_shipped();
  for (const char* s : {"食べて", "食べた", "食べない", "食べます", "食べました", "食べられる",
                        "食べさせる", "食べれば", "食べよう", "食べろ", "食べたい"}) {
    EXPECT_TRUE(reaches(s, {"食べる", "v1"})) << s;
  }
  for (const char* s : {"して", "した", "しない", "します", "される", "させる", "すれば", "しよう",
                        "しなければならない"}) {
    EXPECT_TRUE(reaches(s, {"する", "vs-i"})) << s;
  }
  // A noun that takes する: 勉強した is 勉強 (vs).
  EXPECT_TRUE(reaches("勉強した", {"勉強", "vs"}));
  for (const char* s : {"来て", "来た", "来ない", "来ます", "来られる", "来れば"}) {
    EXPECT_TRUE(reaches(s, {"来る", "vk"})) << s;
  }
  for (const char* s : {"きて", "きた", "こない", "きます", "こよう", "こい"}) {
    EXPECT_TRUE(reaches(s, {"くる", "vk"})) << s;
  }
  for (const char* s : {"美しかった", "美しくない", "美しくて", "美しく", "美しければ", "美しさ",
                        "美しくなかった"}) {
    EXPECT_TRUE(reaches(s, {"美しい", "adj-i"})) << s;
  }
  // いい has its other forms from よい; 良い is a plain i-adjective.
  for (const char* s : {"よかった", "よくない", "よくて", "よければ"}) {
    EXPECT_TRUE(reaches(s, {"いい", "adj-ix"})) << s;
    EXPECT_TRUE(reaches(s, {"よい", "adj-i"})) << s;
  }
  EXPECT_TRUE(reaches("良かった", {"良い", "adj-i"}));
}

TEST_F(DeinflectTest, EndingsStackIntoChains) {
  load_shipped();
  EXPECT_TRUE(reaches("書かれていました", {"書かれている", "v1"}));
  EXPECT_TRUE(reaches("書かれていました", {"書かれる", "v1"}));
  EXPECT_TRUE(reaches("書かれていました", {"書く", "v5k"}));
  EXPECT_TRUE(reaches("見せてください", {"見せる", "v1"}));
  EXPECT_TRUE(reaches("書いていない", {"書く", "v5k"}));
  EXPECT_TRUE(reaches("食べたかった", {"食べる", "v1"}));
}

TEST_F(DeinflectTest, FormsThatAreNoWordDoNotReachOne) {
  load_shipped();
  // 書か is only ever the stem of 書かない: alone it reaches nothing.
  EXPECT_FALSE(reaches("書か", {"書く", "v5k"}));
  // A rule asks the class of the form it makes: 書いて is the te-form of a
  // godan verb only, 食べない the negative of an ichidan verb only.
  EXPECT_FALSE(reaches("書いて", {"書く", "v1"}));
  EXPECT_FALSE(reaches("食べない", {"食べる", "v5r"}));
  // Chains only where the classes meet: polite endings go on the
  // continuative, so 書くます is no form of 書く.
  EXPECT_FALSE(reaches("書くます", {"書く", "v5k"}));
}

// The walk tries only the rules whose ending the form ends with, and those
// without an ending, and still in table order.
TEST_F(DeinflectTest, RulesApplyInTableOrderWhateverTheirEnding) {
  ASSERT_TRUE(
      parse("た る v1 - past\n"
            "- る v1 STEM bare stem\n"
            "いた く v5k - past\n"
            "た つ v5t - past\n"
            "ない る v1 - negative\n"))
      << deinflect.error;
  std::vector<std::string> texts;
  for (const Form& f : forms_of("書いた")) {
    texts.push_back(euc_to_utf8(std::string(reinterpret_cast<const char*>(f.text), f.length)));
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"書いた", "書いる", "書いたる", "書く", "書いつ"}));
}

TEST_F(DeinflectTest, TheWalkStaysWithinItsBounds) {
  load_shipped();
  // Every form is NUL-terminated within its buffer, however long the surface.
  std::string surface;
  for (int i = 0; i < 23; ++i) surface += "ました";
  const std::string bytes = euc(surface).substr(0, kFormSize - 1);
  std::vector<Form> forms(kMaxForms);
  const int n = deinflect_word(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                               forms.data(), kMaxForms);
  ASSERT_GE(n, 1);
  for (int i = 0; i < n; ++i) {
    EXPECT_LT(forms[i].length, kFormSize);
    EXPECT_EQ(forms[i].text[forms[i].length], 0);
    EXPECT_LE(forms[i].step_count, kMaxSteps);
  }
  // A surface that does not fit a form gives none; a capacity of 1 the surface alone.
  const std::string long_one(kFormSize, '\xA4');
  EXPECT_EQ(deinflect_word(reinterpret_cast<const unsigned char*>(long_one.data()), long_one.size(),
                           forms.data(), kMaxForms),
            0);
  EXPECT_EQ(deinflect_word(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                           forms.data(), 1),
            1);
}

TEST_F(DeinflectTest, TheDescriptionNamesTheInflections) {
  load_shipped();
  EXPECT_EQ(describe("食べました", {"食べる", "v1"}), "(polite past of 食べる) ");
  EXPECT_EQ(describe("書かれている", {"書く", "v5k"}), "(progressive of passive of 書く) ");
  // The te-form inside 書いている is not named; the noun of する shows with it.
  EXPECT_EQ(describe("書いている", {"書く", "v5k"}), "(progressive of 書く) ");
  EXPECT_EQ(describe("勉強した", {"勉強", "vs"}), "(past of 勉強する) ");
  // Too small a buffer: nothing at all rather than a cut text.
  EXPECT_EQ(describe("食べました", {"食べる", "v1"}, 10), "");
}

TEST_F(DeinflectTest, MalformedTablesAreRejectedWithTheirLine) {
  const std::string good = "た る v1 TA past\n";
  struct Case {
    std::string table;
    std::string where;  // "line N"
  };
  const std::vector<Case> cases = {
      {good + "た る v1 TA\n", "line 2"},           // no name
      {"# comment\n\nた る v1\n", "line 3"},        // three fields
      {good + "ta る v1 TA past\n", "line 2"},      // ending not Japanese
      {good + "- - v1 TA nothing\n", "line 2"},     // changes nothing
      {good + "た る - TA past\n", "line 2"},       // applies to nothing
      {good + "た る v1,,v5 TA past\n", "line 2"},  // empty class
      {good + "た る v1 T/A past\n", "line 2"},     // bad class character
      {good + "た る averyveryverylongclass TA past\n", "line 2"},
      {good + "た る v1 TA " + std::string(60, 'x') + "\n", "line 2"},  // name too long
      {good + "たたたたたたたたたたたたたたたたた る v1 TA long\n", "line 2"},
      {good + "た る v1 TA p\tast\x01\n", "line 2"},  // control character in the name
      {"", "no rules"},
      {"# only a comment\n", "no rules"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(parse(good));
    EXPECT_FALSE(parse(c.table)) << c.table;
    EXPECT_FALSE(deinflect.loaded) << c.table;
    EXPECT_EQ(deinflect.rule_count, 0) << c.table;
    EXPECT_NE(std::string(deinflect.error).find(c.where), std::string::npos)
        << c.table << " gave " << deinflect.error;
  }
}

TEST_F(DeinflectTest, TooManyRulesOrClassesAreRejected) {
  std::string rules;
  for (int i = 0; i <= kMaxRules; ++i) rules += "た る v1 TA past\n";
  EXPECT_FALSE(parse(rules));
  EXPECT_NE(std::string(deinflect.error).find("line 513"), std::string::npos) << deinflect.error;

  std::string classes;
  for (int i = 0; i <= kMaxClasses; ++i) classes += "た る c" + std::to_string(i) + " TA past\n";
  EXPECT_FALSE(parse(classes));
  EXPECT_NE(std::string(deinflect.error).find("more than 64 classes"), std::string::npos);
}

TEST_F(DeinflectTest, TheLoaderReportsAMissingOrUndecodableFile) {
  EXPECT_FALSE(load_deinflect_table(nullptr));
  ASSERT_EQ(recording.messages.size(), 1u);
  EXPECT_EQ(recording.messages[0].text, "Cannot open deinflection table: deinflect.txt");
  EXPECT_EQ(recording.messages[0].caption, " ");

  testing_support::write_file(kDeinflectFile, "# rules\nた る v1 TA past\n\xFF\xFE る v1 TA x\n");
  EXPECT_FALSE(load_deinflect_table(nullptr));
  ASSERT_EQ(recording.messages.size(), 2u);
  EXPECT_EQ(recording.messages[1].text,
            "deinflect.txt line 3: not UTF-8, or a character EUC-JP does not have");
  EXPECT_FALSE(deinflect.loaded);

  // CR LF line ends and a last line without one read like any other.
  testing_support::write_file(kDeinflectFile, "た る v1 TA past\r\nて る v1 TE te-form");
  EXPECT_TRUE(load_deinflect_table(nullptr)) << deinflect.error;
  EXPECT_EQ(deinflect.rule_count, 2);
  EXPECT_STREQ(deinflect.rules[1].name, "te-form");
}

TEST_F(DeinflectTest, EntryLinesGiveTheirWordClasses) {
  load_shipped();
  auto classes = [](const std::string& utf8) {
    const std::string line = euc(utf8);
    return entry_classes(reinterpret_cast<const unsigned char*>(line.c_str()));
  };
  auto bit = [](const char* name) { return ClassSet{1} << class_index(name, std::strlen(name)); };
  EXPECT_EQ(classes("書く [かく] /(v5k,vt) (1) to write/(P)/\n"), bit("v5k"));
  EXPECT_EQ(classes("勉強 [べんきょう] /(n,vs) study/\n"), bit("vs"));
  EXPECT_EQ(classes("行く [いく] /(v5k-s,vi) to go/(aux-v) (7) to continue/\n"), bit("v5k-s"));
  EXPECT_EQ(classes("為る [する] /(oK) (vs-i) (1) (uk) to do/\n"), bit("vs-i"));
  // Gloss text in parentheses, unknown tags and a line cut inside a group.
  EXPECT_EQ(classes("日 [ひ] /(n) sun/(a v1 joke)/\n"), 0u);
  EXPECT_EQ(classes("見る [みる] /(v1,vt"), bit("v1"));
}

}  // namespace
