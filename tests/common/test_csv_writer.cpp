#include <fstream>
#include <iterator>

#include "common/csv_writer.h"
#include "common/text.h"
#include "loader_fixture.h"

namespace virk {
namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every kind of line the writer makes, in the order it makes them.
const std::u16string kCanonical = Lines({
    kChannelHeader,
    u";A;TCP-соединение;MODBUS TCP;1000;20;10000;127.0.0.1;1502;120000",
    kDeviceHeader,
    u";Dev;255;Да;1;1;123;Нет",
    kGroupHeader,
    u";Empty group;86400;с",
    kGroupHeader,
    u";G;24;ч",
    kTagHeader,
    u";Bits;Входное состояние;65535;2000;2000;Нет;;;;;;;;;;Случайное число",
    u";Coil;Выходное состояние;1;0;0;Да;Нет;Одиночная;;;;;;;;Константа;1",
    u";Double;Выходной регистр;10;4;1;Да;Да;Групповая;Вещ64;HG FE DC BA;Линейная шкала;-10;1e+06;0.5;1234567;Синусоида;60",
    u";Factor;Входной регистр;2;0;0;Да;;;Цел32(знак);AB CD;Множитель;-0.1;;;;Константа;-2147483648",
    u";High;Входной регистр;3;0;0;Да;;;Старший байт;;Нет;;;;;Константа;255",
    u";NoOrder;Входной регистр;4;0;0;Да;;;Цел16;;Нет;;;;;Константа;1e-05",
    u";Бит;Выходной регистр;5;0;0;Да;Да;Групповая;Бит15;;;;;;;Константа;0",
    kChannelHeader,
    u";B;COM-порт;MODBUS ASCII;20;1;0;1000;256000;7;2;Пробел;Да;Togge;Handshake",
    kChannelHeader,
    u";Канал;COM-порт;MODBUS RTU;500;3;0;1;9600;8;1;Нет;Нет;Нет;Нет",
});

class CsvWriterTest : public LoaderTest {
 protected:
  void Load(CTreeItemRoot& tree, const std::u16string& text) {
    CCsvLoader loader(tree, factory);
    ASSERT_TRUE(loader.LoadText(text)) << LoggedTexts(kLogUserland).front();
  }
  CPlainItemFactory factory;
  // One file per test: ctest runs the tests of this program side by side.
  std::string path = ::testing::TempDir() + "virk_writer_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".cfg";
  void TearDown() override {
    std::remove(path.c_str());
    LoaderTest::TearDown();
  }
};

TEST_F(CsvWriterTest, DefaultTreeWritesTheReferenceLines) {
  CTreeItemRoot tree;
  Load(tree, WithTags({kDefaultTag}));
  EXPECT_EQ(RecordsText(tree), WithTags({kDefaultTag}));
  // Items made in code, not loaded, write the same defaults.
  CTreeItemRoot made;
  ItemPtr items[] = {factory.Create(kKindChannel), factory.Create(kKindDevice),
                     factory.Create(kKindGroup), factory.Create(kKindTag)};
  CItem* parent = &made;
  for (ItemPtr& item : items) {
    CItem* next = item.get();
    ASSERT_TRUE(parent->AddChild(std::move(item)));
    parent = next;
  }
  EXPECT_EQ(RecordsText(made), WithTags({kDefaultTag}));
}

TEST_F(CsvWriterTest, EveryFieldSurvivesLoadAndWrite) {
  CTreeItemRoot tree;
  Load(tree, kCanonical);
  EXPECT_EQ(RecordsText(tree), kCanonical);
}

TEST_F(CsvWriterTest, ScrambledSaveKeepsSectionsAndIsStable) {
  const std::u16string sections =
      Lines({u"INIFILE", u"", u"[options]", u"port = 4841", u"USERS", u"", u"[users]", u"op;pw"});
  std::string error;
  ASSERT_TRUE(WriteConfigText(path, Lines({kChannelHeader, kDefaultChannel}) + sections, true, error));

  CTreeItemRoot tree;
  Load(tree, kCanonical);
  ASSERT_EQ(WriteConfiguration(tree, path, false), kWriteOk);
  std::u16string stored;
  ASSERT_TRUE(ReadConfigText(path, true, stored, error)) << error;
  EXPECT_EQ(stored, kCanonical + sections);
  const std::string firstBytes = FileBytes(path);
  EXPECT_EQ(firstBytes.find('\n'), std::string::npos);

  // Read back through the server's entry, write again: the same bytes.
  CTreeItemRoot again;
  CCsvLoader loader(again, factory);
  ASSERT_TRUE(loader.Load(path));
  EXPECT_EQ(RecordsText(again), kCanonical);
  ASSERT_EQ(WriteConfiguration(again, path, false), kWriteOk);
  EXPECT_EQ(FileBytes(path), firstBytes);
}

TEST_F(CsvWriterTest, PlainExportUsesCrLfAndImportsBack) {
  CTreeItemRoot tree;
  Load(tree, kCanonical);
  path += ".csv";
  ASSERT_EQ(WriteConfiguration(tree, path, true), kWriteOk);
  const std::string bytes = FileBytes(path);
  EXPECT_EQ(bytes.rfind("CHANNEL;1;2;3;4;5;6;7;8;9;10;11;12;13;14\r\n;A;TCP", 0), 0u);
  EXPECT_EQ(bytes.find("\n\n"), std::string::npos);

  CTreeItemRoot back;
  CCsvLoader loader(back, factory);
  ASSERT_TRUE(loader.LoadPlain(path));
  EXPECT_EQ(RecordsText(back), kCanonical);
}

TEST_F(CsvWriterTest, UnwritablePathFailsWithCodeOne) {
  CTreeItemRoot tree;
  Load(tree, kCanonical);
  EXPECT_EQ(WriteConfiguration(tree, ::testing::TempDir() + "no/such/dir/x.cfg", false),
            kWriteRecordsFailed);
  EXPECT_EQ(WriteConfiguration(tree, ::testing::TempDir() + "no/such/dir/x.csv", true),
            kWriteRecordsFailed);
}

}  // namespace
}  // namespace virk
