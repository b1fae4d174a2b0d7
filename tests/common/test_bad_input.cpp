// Damaged and hostile configuration files: each is refused with an error that
// names the line or byte, the file on disk stays as it was, and nothing the
// loader keeps differs from what the intact file holds.
#include <fstream>
#include <iterator>
#include <set>

#include "common/csv_writer.h"
#include "common/item.h"
#include "common/text.h"
#include "loader_fixture.h"

namespace virk {
namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void PutBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void CollectFullNames(const CItem& item, std::set<std::string>& names) {
  for (const auto& child : item.Children()) {
    names.insert(child.second->FullName());
    CollectFullNames(*child.second, names);
  }
}

const std::u16string kNamedTag =
    u";Давление;Входной регистр;7;0;0;Да;;;Вещ32;BA DC;Нет;;;;;Константа;12.5";

class BadInputTest : public LoaderTest {
 protected:
  void SetUp() override {
    LoaderTest::SetUp();
    path = ::testing::TempDir() + "virk_bad_input_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".cfg";
  }
  void TearDown() override {
    std::remove(path.c_str());
    LoaderTest::TearDown();
  }
  // Loads the file into a fresh tree and keeps the loader's errors.
  bool Load(bool scrambled = true) {
    root = std::make_unique<CTreeItemRoot>();
    CCsvLoader loader(*root, factory);
    const bool loaded = loader.LoadFile(path, scrambled);
    errors = loader.Errors();
    return loaded;
  }
  std::string Store(const std::u16string& text) {
    const std::string bytes = EncodeConfigText(text, true);
    PutBytes(path, bytes);
    return bytes;
  }
  CTagBase* Tag(const std::string& name) const {
    CItem* group = root->FindChild("Channel_0")->FindChild("Device_0")->FindChild("Group_0");
    return static_cast<CTagBase*>(group->FindChild(name));
  }

  std::string path;
  CPlainItemFactory factory;
  std::unique_ptr<CTreeItemRoot> root;
  std::vector<CCsvLoader::RecordError> errors;
};

TEST_F(BadInputTest, FileCutShortAnywhereKeepsOnlyItemsOfTheWholeFileAndIsNotTouched) {
  const std::string whole = Store(WithTags({kDefaultTag, kNamedTag}));
  ASSERT_TRUE(Load());
  std::set<std::string> wholeNames;
  CollectFullNames(*root, wholeNames);
  ASSERT_EQ(wholeNames.size(), 5u);

  for (size_t cut = 0; cut < whole.size(); cut += 3) {  // both bytes of every unit
    const std::string shortened = whole.substr(0, cut);
    PutBytes(path, shortened);
    const bool loaded = Load();
    EXPECT_EQ(FileBytes(path), shortened) << "cut at " << cut;
    if (!loaded) {
      EXPECT_FALSE(errors.empty()) << "cut at " << cut;
    }
    std::set<std::string> names;
    CollectFullNames(*root, names);
    for (const std::string& name : names)
      EXPECT_TRUE(wholeNames.count(name)) << name << " from the file cut at " << cut;
  }

  // Inside the two bytes of a stored Cyrillic letter: the byte that starts it is named.
  const size_t letter = whole.find_first_of("\xD2\xD3");
  ASSERT_NE(letter, std::string::npos);
  PutBytes(path, whole.substr(0, letter + 1));
  EXPECT_FALSE(Load());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].line, -1);
  EXPECT_NE(errors[0].message.find(InvalidUtf8Message(letter)), std::string::npos)
      << errors[0].message;

  // Inside the fields of the last tag: that line is reported, the rest stays.
  const size_t lastLine = whole.rfind("\xC2\xAF", whole.size() - 3) + 2;
  PutBytes(path, whole.substr(0, lastLine + 20));
  EXPECT_FALSE(Load());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].line, 8);
  EXPECT_NE(Tag("Tag_0"), nullptr);
  EXPECT_EQ(Tag("Давление"), nullptr);

  // Inside the last value, "12.5" read as "12.": every field is there, but the
  // missing line end shows the file was cut.
  PutBytes(path, whole.substr(0, whole.size() - 4));
  EXPECT_FALSE(Load());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].message, "Строка 8: файл обрывается посреди строки.");
  EXPECT_EQ(Tag("Давление"), nullptr);
  // A plain file edited by hand may end without one.
  const std::string plain = Utf16ToUtf8(WithTags({kDefaultTag, kNamedTag}));
  PutBytes(path, plain.substr(0, plain.size() - 1));
  EXPECT_TRUE(Load(false));
  EXPECT_NE(Tag("Давление"), nullptr);
}

TEST_F(BadInputTest, InvalidUtf8IsRefusedWithItsOffsetWhereverItStands) {
  const std::string whole = Store(WithTags({kDefaultTag, kNamedTag}));
  for (const std::string& bad : {std::string("\xFF"), std::string("\xC0\xAF"),  // never valid, overlong
                                std::string("\xED\xA0\x80"),                 // a lone surrogate
                                std::string("\xF4\x90\x80\x80")}) {          // above U+10FFFF
    for (const size_t at : {size_t(0), whole.size() / 4 * 2, whole.size()}) {  // between units
      PutBytes(path, whole.substr(0, at) + bad + whole.substr(at));
      EXPECT_FALSE(Load());
      ASSERT_EQ(errors.size(), 1u);
      EXPECT_NE(errors[0].message.find("the file is not valid UTF-8 [" + InvalidUtf8Message(at) + "]"),
                std::string::npos)
          << errors[0].message;
    }
  }
}

TEST_F(BadInputTest, MegabyteLinesAreRefusedAndTheLinesAroundThemLoad) {
  const std::u16string megabyte(1 << 20, u'7');
  const std::u16string longName =
      u";" + std::u16string(1 << 20, u'N') + u";Входной регистр;1;0;0;Да;;;Вещ32;BA DC;Нет;;;;;Константа;1";
  const std::u16string longValue =
      u";Long;Входной регистр;2;0;0;Да;;;Вещ32;BA DC;Нет;;;;;Константа;" + megabyte;
  // Two long lines one after the other cross the reader's chunks at every offset it has.
  Store(WithTags({kDefaultTag, longName, longValue, kNamedTag}));
  EXPECT_FALSE(Load());
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].line, 8);
  EXPECT_NE(errors[0].message.find("ошибка поля <1>"), std::string::npos) << errors[0].message;
  EXPECT_EQ(errors[1].line, 9);
  EXPECT_NE(errors[1].message.find("ошибка поля <17>"), std::string::npos) << errors[1].message;
  EXPECT_NE(Tag("Tag_0"), nullptr);
  EXPECT_NE(RecordsText(*root).find(kNamedTag + u"\n"), std::u16string::npos);
  EXPECT_EQ(Tag("Long"), nullptr);
  EXPECT_EQ(root->FindChild("Channel_0")->FindChild("Device_0")->FindChild("Group_0")->Children().size(),
            2u);
}

TEST_F(BadInputTest, SeparatorsInNamesAreRefusedAndOtherCharactersRoundTrip) {
  const std::u16string tail = u";Входной регистр;1;0;0;Да;;;Вещ32;BA DC;Нет;;;;;Константа;1";
  Store(WithTags({u";With.dot" + tail, u";With;semicolon" + tail, kDefaultTag}));
  EXPECT_FALSE(Load());
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[0].message.find("ошибка поля <1>"), std::string::npos) << errors[0].message;
  EXPECT_EQ(errors[1].line, 8);
  EXPECT_EQ(root->FindChild("Channel_0")->FindChild("Device_0")->FindChild("Group_0")->Children().size(),
            1u);

  // Every other character a name may hold is written and read back unchanged.
  const std::u16string odd = u";Tag #1, \"quoted\" 'x' [ä] \t€ 𝄞" + tail;
  Store(WithTags({odd}));
  ASSERT_TRUE(Load()) << (errors.empty() ? "" : errors[0].message);
  ASSERT_EQ(WriteConfiguration(*root, path, false), kWriteOk);
  const std::u16string written = RecordsText(*root);
  ASSERT_TRUE(Load());
  EXPECT_NE(Tag("Tag #1, \"quoted\" 'x' [ä] \t€ 𝄞"), nullptr);
  EXPECT_EQ(RecordsText(*root), written);
}

}  // namespace
}  // namespace virk
