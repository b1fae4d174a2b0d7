#include <fstream>

#include "common/item.h"
#include "common/text.h"
#include "loader_fixture.h"

namespace virk {
namespace {

using Messages = std::vector<std::string>;

class CsvLoaderTest : public LoaderTest {
 protected:
  // Loads the text into a fresh tree; returns the record errors logged.
  Messages LoadMessages(const std::u16string& text, bool expectOk = false) {
    root = std::make_unique<CTreeItemRoot>();
    CCsvLoader loader(*root, factory);
    m_Log.clear();
    ok = loader.LoadText(text);
    EXPECT_EQ(ok, expectOk);
    return LoggedTexts(kLogUserland);
  }
  CItem* Find(const std::string& fullName) const {
    CItem* item = root.get();
    size_t start = 0;
    while (item && start <= fullName.size()) {
      size_t dot = fullName.find('.', start);
      if (dot == std::string::npos) dot = fullName.size();
      item = item->FindChild(fullName.substr(start, dot - start));
      start = dot + 1;
    }
    return item;
  }
  const TagSettings& Tag(const std::string& name) const {
    return static_cast<CTagBase*>(Find("Channel_0.Device_0.Group_0." + name))->m_Data;
  }

  CPlainItemFactory factory;
  std::unique_ptr<CTreeItemRoot> root;
  bool ok = false;
};

TEST_F(CsvLoaderTest, DefaultsLoadAndTheSectionsAfterRecordsAreNotRecords) {
  const std::u16string text =
      WithTags({kDefaultTag, u"INIFILE", u"", u"[options]", u"port = 4840", u"log = info",
                u"allowanonimus = true", u"USERS", u"", u"[users]", u"a;b"});
  EXPECT_TRUE(LoadMessages(text, true).empty());
  ASSERT_NE(Find("Channel_0.Device_0.Group_0.Tag_0"), nullptr);
  EXPECT_EQ(root->Children().size(), 1u);
  const auto& channel = static_cast<CChannelBase*>(Find("Channel_0"))->m_Data;
  EXPECT_EQ(channel.Com()->m_BaudRate, 9600u);
  const TagSettings& tag = Tag("Tag_0");
  EXPECT_EQ(tag.m_RegKind, kRegInput);
  EXPECT_EQ(tag.m_Addr, 0);
  EXPECT_EQ(tag.m_ByteOrder, 2);
  EXPECT_EQ(std::get<CEmulData_Const>(tag.m_Emul).m_Value, 0.0);
}

TEST_F(CsvLoaderTest, FilesWithoutRecordsFail) {
  LoadMessages(u"");
  LoadMessages(Lines({u"INIFILE", u"", u"[options]", u"port = 4840"}));
  // A header alone is no record either.
  LoadMessages(Lines({kChannelHeader}));
  // The end word may stand in any field of the line.
  LoadMessages(Lines({u"CHANNEL;x;[users]", kDefaultChannel}));
}

TEST_F(CsvLoaderTest, HeadersOutOfPlaceAndUnknownKeywords) {
  // A DEVICE header first fails and blocks everything up to the next CHANNEL.
  Messages messages = LoadMessages(Lines({kDeviceHeader, kDefaultDevice, kTagHeader, kDefaultTag,
                                          u"Канал;1", kChannelHeader, kDefaultChannel}));
  EXPECT_EQ(messages, (Messages{"Строка 0: неверный формат файла.",
                                "Строка 4: неизвестное ключевое слово 'Канал'."}));
  EXPECT_NE(Find("Channel_0"), nullptr);

  messages = LoadMessages(Lines({kChannelHeader, kDefaultChannel, kTagHeader, kDefaultTag}));
  EXPECT_EQ(messages, (Messages{"Строка 2: неверный формат файла."}));

  // A record before any header has nowhere to go.
  messages = LoadMessages(Lines({kDefaultChannel, kChannelHeader, kDefaultChannel}));
  EXPECT_EQ(messages, (Messages{"Строка 0: неверный формат файла."}));
  EXPECT_NE(Find("Channel_0"), nullptr);
}

TEST_F(CsvLoaderTest, FailedChannelRejectsItsSubtreeUntilTheNextChannel) {
  const std::u16string text =
      Lines({kChannelHeader, u";Bad;COM-порт;MODBUS RTU;19;3;0;1;9600;8;1;Нет;Нет;Нет;Нет",
             kDeviceHeader, kDefaultDevice, kGroupHeader, kDefaultGroup, kTagHeader, kDefaultTag,
             kChannelHeader, kDefaultChannel, kDeviceHeader, kDefaultDevice});
  EXPECT_EQ(LoadMessages(text), (Messages{"Строка 1: ошибка поля <4>."}));
  EXPECT_EQ(Find("Bad"), nullptr);
  ASSERT_NE(Find("Channel_0.Device_0"), nullptr);
  EXPECT_TRUE(Find("Channel_0.Device_0")->Children().empty());
}

TEST_F(CsvLoaderTest, FailedTagLeavesTheFollowingTagsAlone) {
  const std::u16string text = WithTags({
      u";A;Входной регистр;0;0;0;Да;;;Вещ32;BA DC;Нет;;;;;Константа;0",
      u";B;Входной регистр;65535;0;0;Да;;;Вещ32;BA DC;Нет;;;;;Константа;0",
  });
  EXPECT_EQ(LoadMessages(text), (Messages{"Строка 7: ошибка поля <3>."}));
  EXPECT_EQ(Tag("B").m_Addr, 65534);
}

TEST_F(CsvLoaderTest, DuplicateNamesPortsAndDevices) {
  Messages messages = LoadMessages(WithTags({kDefaultTag, kDefaultTag}));
  EXPECT_EQ(messages,
            (Messages{"Строка 8: ошибка поля <1> -  ошибка дублирования имени Tag_0."}));

  // COM port 3 twice: the second fails one past the last COM field.
  messages = LoadMessages(Lines({kChannelHeader, u";A;COM-порт;MODBUS RTU;500;3;0;3;9600;8;1;Нет;Нет;Нет;Нет",
                                 kChannelHeader, u";B;COM-порт;MODBUS RTU;500;3;0;3;9600;8;1;Нет;Нет;Нет;Нет"}));
  EXPECT_EQ(messages, (Messages{"Строка 3: ошибка поля <15> - Дублирование номера COM порта."}));
  EXPECT_EQ(Find("B"), nullptr);

  // Two TCP channels to one address are fine.
  LoadMessages(Lines({kChannelHeader, u";A;TCP-соединение;MODBUS TCP;500;3;0;10.0.0.1;502;5000",
                      kChannelHeader, u";B;TCP-соединение;MODBUS TCP;500;3;0;10.0.0.1;502;5000"}),
               true);

  // A second device with address 1 fails; the error mode holds until the next CHANNEL.
  messages = LoadMessages(Lines({kChannelHeader, kDefaultChannel, kDeviceHeader, kDefaultDevice,
                                 u";Other;1;Нет;125;2000;0;Да", kGroupHeader, kDefaultGroup,
                                 kDeviceHeader, u";Third;2;Нет;125;2000;0;Да"}));
  EXPECT_EQ(messages, (Messages{"Строка 4: ошибка: дублирование устройства"}));
  EXPECT_EQ(Find("Channel_0")->Children().size(), 1u);
  EXPECT_TRUE(Find("Channel_0.Device_0")->Children().empty());
}

TEST_F(CsvLoaderTest, FieldCountsAreCheckedBeforeAnyMissingFieldIsUsed) {
  Messages messages = LoadMessages(Lines({kChannelHeader, kDefaultChannel, kDeviceHeader,
                                          u";Device_0;1;Нет;125;2000;0"}));
  EXPECT_EQ(messages,
            (Messages{"Строка 3: несоответствие количества полей: реальное <6> ожидаемое <7>."}));

  // Short channel lines, by the channel type; an empty line in the records.
  messages = LoadMessages(Lines({kChannelHeader, u";A;COM-порт;MODBUS RTU;500;3;0;1;9600",
                                 kChannelHeader, u";B;TCP-соединение;MODBUS TCP;500;3;0;10.0.0.1",
                                 kChannelHeader, u"", kChannelHeader, u";C"}));
  EXPECT_EQ(messages,
            (Messages{"Строка 1: несоответствие количества полей: реальное <8> ожидаемое <14>.",
                      "Строка 3: несоответствие количества полей: реальное <7> ожидаемое <9>.",
                      "Строка 5: несоответствие количества полей: реальное <0> ожидаемое <14>.",
                      "Строка 7: несоответствие количества полей: реальное <1> ожидаемое <14>."}));

  // Tags: 16 fields, 17 when the emulation takes a parameter; a final ';' adds no field.
  messages = LoadMessages(WithTags({
      u";A;Входной регистр;1;0;0;Да;;;Вещ32;BA DC;Нет;;;;;Случайное число",
      u";B;Входной регистр;1;0;0;Да;;;Вещ32;BA DC;Нет;;;;;Синусоида;",
      u";C;Входной регистр;1;0;0;Да;;;Вещ32;BA DC;Нет;;;;",
  }));
  EXPECT_EQ(messages,
            (Messages{"Строка 8: несоответствие количества полей: реальное <16> ожидаемое <17>.",
                      "Строка 9: несоответствие количества полей: реальное <14> ожидаемое <16>."}));
  EXPECT_EQ(Tag("A").m_EmulKind, kEmulRandom);

  messages = LoadMessages(Lines({kChannelHeader, kDefaultChannel, kDeviceHeader, kDefaultDevice,
                                 kGroupHeader, u";G;50"}));
  EXPECT_EQ(messages,
            (Messages{"Строка 5: несоответствие количества полей: реальное <2> ожидаемое <3>."}));
}

TEST_F(CsvLoaderTest, ChannelFieldsByType) {
  LoadMessages(Lines({kChannelHeader, u";T;TCP-соединение;MODBUS TCP;500;3;0;192.168.1.20;1502;20"}),
               true);
  const auto& tcp = *static_cast<CChannelBase*>(Find("T"))->m_Data.Tcp();
  EXPECT_EQ(tcp.m_IpAddress, 0x1401A8C0u);
  EXPECT_EQ(tcp.m_Port, 1502);
  EXPECT_EQ(tcp.m_ConnectTimeout, 20u);

  // The same record as a COM channel: field 7 reads 192, field 8 is no baud rate.
  EXPECT_EQ(LoadMessages(Lines({kChannelHeader,
                                u";T;COM-порт;MODBUS TCP;500;3;0;192.168.1.20;1502;20"})),
            (Messages{"Строка 1: ошибка поля <8>."}));

  struct Case {
    std::u16string line;
    int field;
  } cases[] = {
      {u";K.1;COM-порт;MODBUS RTU;500;3;0;1;9600;8;1;Нет;Нет;Нет;Нет", 1},
      {u";" + std::u16string(65, u'ж') + u";COM-порт;MODBUS RTU;500;3;0;1;9600;8;1;Нет;Нет;Нет;Нет", 1},
      {u";K;com-порт;MODBUS RTU;500;3;0;1;9600;8;1;Нет;Нет;Нет;Нет", 2},
      {u";K;COM-порт;MODBUS RTU ;500;3;0;1;9600;8;1;Нет;Нет;Нет;Нет", 3},
      {u";K;COM-порт;MODBUS RTU;500;21;0;1;9600;8;1;Нет;Нет;Нет;Нет", 5},
      {u";K;COM-порт;MODBUS RTU;500;3;10001;1;9600;8;1;Нет;Нет;Нет;Нет", 6},
      {u";K;COM-порт;MODBUS RTU;500;3;0;1001;9600;8;1;Нет;Нет;Нет;Нет", 7},
      {u";K;COM-порт;MODBUS RTU;500;3;0;1;09600;8;1;Нет;Нет;Нет;Нет", 8},
      {u";K;COM-порт;MODBUS RTU;500;3;0;1;9600;8;2;Нет;Нет;Нет;Handshake ", 14},
      {u";K;TCP-соединение;MODBUS TCP;500;3;0;10.0.0.256;502;5000", 7},
      {u";K;TCP-соединение;MODBUS TCP;500;3;0;10.0.0;502;5000", 7},
      {u";K;TCP-соединение;MODBUS TCP;500;3;0;10.0.0.1;0;5000", 8},
      {u";K;TCP-соединение;MODBUS TCP;500;3;0;10.0.0.1;502;120001", 9},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadMessages(Lines({kChannelHeader, c.line})),
              (Messages{"Строка 1: ошибка поля <" + std::to_string(c.field) + ">."}))
        << Utf16ToUtf8(c.line);
  }
  // 64 code units are allowed; integers read as a stream does.
  LoadMessages(Lines({kChannelHeader,
                      u";" + std::u16string(64, u'ж') + u";COM-порт;MODBUS ASCII; 600ms;+3;x;0;256000;7;2;Пробел;Да;Togge;Handshake"}),
               true);
  const auto& channel = static_cast<CChannelBase*>(root->Children().begin()->second.get())->m_Data;
  EXPECT_EQ(channel.m_ResponseTimeout, 600u);
  EXPECT_EQ(channel.m_Attempts, 3);
  EXPECT_EQ(channel.m_Pause, 0u);
  EXPECT_EQ(channel.Com()->m_RtsControl, 3);
}

TEST_F(CsvLoaderTest, DeviceAndGroupRanges) {
  struct Case {
    std::u16string device, group;
    int field;  // of the failing record, 0 for none
  } cases[] = {
      {u";D;256;Нет;125;2000;0;Да", kDefaultGroup, 2},
      {u";D;0;Нет;126;2000;0;Да", kDefaultGroup, 4},
      {u";D;0;Нет;125;2001;0;Да", kDefaultGroup, 5},
      {u";D;0;Нет;125;2000;124;Да", kDefaultGroup, 6},
      {u";D;0;Да;1;1;123;Нет", u";G;24;ч", 0},
      {kDefaultDevice, u";G;25;ч", 2},
      {kDefaultDevice, u";G;1441;мин.", 2},
      {kDefaultDevice, u";G;86400;с", 0},
      {kDefaultDevice, u";G;86400001;мс", 2},
      {kDefaultDevice, u";G;5;сек", 3},
  };
  for (const Case& c : cases) {
    const Messages messages = LoadMessages(
        Lines({kChannelHeader, kDefaultChannel, kDeviceHeader, c.device, kGroupHeader, c.group}),
        c.field == 0);
    if (c.field == 0) {
      EXPECT_TRUE(messages.empty()) << messages[0];
      continue;
    }
    const long line = c.device == kDefaultDevice ? 5 : 3;
    EXPECT_EQ(messages, (Messages{"Строка " + std::to_string(line) + ": ошибка поля <" +
                                  std::to_string(c.field) + ">."}))
        << Utf16ToUtf8(c.device + c.group);
  }
}

TEST_F(CsvLoaderTest, TagFieldsByKindTypeTransformationAndEmulation) {
  struct Case {
    std::u16string tag;
    int field;  // 0: accepted
  } cases[] = {
      {u";T;Входное состояние;1;2000;2000;Да;;;;;;;;;;Константа;1", 0},
      {u";T;Входной регистр;1;124;0;Да;;;Вещ32;BA DC;Нет;;;;;Константа;0", 4},
      {u";T;Выходной регистр;1;10;11;Да;Да;Групповая;Цел16;AB;Нет;;;;;Константа;0", 5},
      {u";T;Выходной регистр;1;0;0;Да;Может;Групповая;Цел16;AB;Нет;;;;;Константа;0", 7},
      {u";T;Выходной регистр;1;0;0;Да;Да;групповая;Цел16;AB;Нет;;;;;Константа;0", 8},
      {u";T;Входной регистр;1;0;0;Да;;;Цел64;AB;Нет;;;;;Константа;0", 9},
      {u";T;Входной регистр;1;0;0;Да;;;Цел16;AB;Шкала;;;;;Константа;0", 11},
      // Bits take no transformation: field 11 is not read.
      {u";T;Входной регистр;1;0;0;Да;;;Бит3;;Шкала;;;;;Константа;1", 0},
      {u";T;Входной регистр;1;0;0;Да;;;Цел16;AB;Линейная шкала;0;65536;0;100;Константа;0", 13},
      {u";T;Входной регистр;1;0;0;Да;;;Цел16(знак);AB;Линейная шкала;-32769;0;0;1;Константа;0", 12},
      {u";T;Входной регистр;1;0;0;Да;;;Вещ64;AB;Линейная шкала;-10000000;10000000;0;1;Константа;0", 0},
      {u";T;Входной регистр;1;0;0;Да;;;Вещ32;AB;Множитель;0;;;;Константа;0", 12},
      {u";T;Входной регистр;1;0;0;Да;;;Вещ32;AB;Множитель;100001;;;;Константа;0", 12},
      {u";T;Входной регистр;1;0;0;Да;;;Вещ32;AB;Множитель;-0.5;;;;Константа;0", 0},
      {u";T;Входной регистр;1;0;0;Да;;;Вещ32;;Нет;;;;;Синусоида;61", 17},
      {u";T;Входной регистр;1;0;0;Да;;;Вещ32;;Нет;;;;;Синусоида;0", 17},
      {u";T;Входной регистр;1;0;0;Да;;;Вещ32;;Нет;;;;;Синус;1", 16},
      {u";T;Входное состояние;1;0;0;Да;;;;;;;;;;Константа;2", 17},
      {u";T;Входной регистр;1;0;0;Да;;;Цел16(знак);;Нет;;;;;Константа;-32769", 17},
      {u";T;Входной регистр;1;0;0;Да;;;Цел32;;Нет;;;;;Константа;1000000001", 17},
      {u";T;Входной регистр;1;0;0;Да;;;Цел32(знак);;Нет;;;;;Константа;-2147483648", 0},
      {u";T;Входной регистр;1;0;0;Да;;;Младший байт;;Нет;;;;;Константа;256", 17},
      {u";T;Входной регистр;1;0;0;Да;;;Вещ32;;Нет;;;;;Константа;1.5e7", 17},
      {u";T;Входной регистр;1;0;0;Да;;;Вещ64;;Нет;;;;;Константа;-1e7", 0},
      // Integer types: the stored real must fit too, or the saved "1000" would not load.
      {u";T;Входное состояние;1;0;0;Да;;;;;;;;;;Константа;1e3", 17},
      {u";T;Входной регистр;1;0;0;Да;;;Цел16;AB;Линейная шкала;0;7e5;0;1;Константа;0", 13},
      {u";T;Входной регистр;1;0;0;Да;;;Цел16;;Нет;;;;;Константа;65535.5", 0},
  };
  for (const Case& c : cases) {
    const Messages messages = LoadMessages(WithTags({c.tag}), c.field == 0);
    const Messages expected = c.field == 0 ? Messages{}
                                           : Messages{"Строка 7: ошибка поля <" +
                                                      std::to_string(c.field) + ">."};
    EXPECT_EQ(messages, expected) << Utf16ToUtf8(c.tag);
  }
}

TEST_F(CsvLoaderTest, TagValuesAsStored) {
  LoadMessages(WithTags({
                   u";S;Входной регистр;100;4;2;Нет;;;Цел16;что-то;Линейная шкала;1.5;200;-1;1e+06;Синусоида;60",
                   u";W;Выходной регистр;7;0;0;Да;Нет;Одиночная;Вещ32;DC BA;Множитель;0.25;;;;Константа;12.75",
                   u";R;Выходное состояние;3;0;0;Да;Нет;Одиночная;;;;;;;;Случайное число",
               }),
               true);
  const TagSettings& s = Tag("S");
  EXPECT_EQ(s.m_Addr, 99);
  EXPECT_EQ(s.m_PosInSegment, 2);
  EXPECT_FALSE(s.m_Read);
  EXPECT_EQ(s.m_ByteOrder, kByteOrderNone);
  const auto& scale = std::get<CTransform_LineScaleData>(s.m_Transform);
  EXPECT_EQ(scale.m_SrcMin, 1.5f);  // checked as the integer 1, kept as the real
  EXPECT_EQ(scale.m_DstMax, 1e6f);
  EXPECT_EQ(std::get<CEmulData_Sin>(s.m_Emul).m_Period, 60);

  const TagSettings& w = Tag("W");
  EXPECT_FALSE(w.m_Write);
  EXPECT_FALSE(w.m_bWriteGroup);
  EXPECT_EQ(w.m_ByteOrder, 3);
  EXPECT_EQ(std::get<CTransform_FactorData>(w.m_Transform).m_Factor, 0.25f);
  EXPECT_EQ(std::get<CEmulData_Const>(w.m_Emul).m_Value, 12.75);

  const TagSettings& r = Tag("R");
  EXPECT_EQ(r.m_RegKind, kRegCoil);
  EXPECT_EQ(r.m_EmulKind, kEmulRandom);
  EXPECT_EQ(r.m_TransformKind, kTransformNone);
}

TEST_F(CsvLoaderTest, ConfiguratorModeReportsDuplicatesThroughTheHookAndLogsNothing) {
  root = std::make_unique<CTreeItemRoot>();
  CCsvLoader loader(*root, factory);
  Messages hooked;
  loader.SetLogRecordErrors(false);
  loader.SetDuplicateHook([&hooked](const std::string& text) { hooked.push_back(text); });
  const std::u16string text =
      Lines({kChannelHeader, kDefaultChannel, kChannelHeader,
             u";Second;COM-порт;MODBUS RTU;500;3;0;1;9600;8;1;Нет;Нет;Нет;Нет", kChannelHeader,
             u";Third;COM-порт;MODBUS RTU;500;3;0;2;9600;8;1;Нет;Нет;Нет;Нет", kDeviceHeader,
             kDefaultDevice, u";Twin;1;Нет;125;2000;0;Да", u"Канал"});
  EXPECT_FALSE(loader.LoadText(text));
  EXPECT_EQ(hooked, (Messages{"Обнаружено дублирование COM порта",
                              "Обнаружено дублирование устройства"}));
  EXPECT_TRUE(m_Log.empty());
  ASSERT_EQ(loader.Errors().size(), 3u);
  EXPECT_EQ(loader.Errors()[0].line, 3);
  EXPECT_EQ(loader.Errors()[1].line, 8);
  EXPECT_EQ(loader.Errors()[2].message, "Строка 9: неизвестное ключевое слово 'Канал'.");
  EXPECT_EQ(root->Children().size(), 2u);
}

TEST_F(CsvLoaderTest, LoadReadsScrambledFilesAndLogsItsSteps) {
  const std::string path = ::testing::TempDir() + "virk_loader.cfg";
  std::string error;
  ASSERT_TRUE(WriteConfigText(path, WithTags({kDefaultTag}), true, error)) << error;
  CTreeItemRoot tree;
  CCsvLoader loader(tree, factory);
  EXPECT_TRUE(loader.Load(path));
  EXPECT_EQ(tree.m_FilePath, path);
  EXPECT_EQ(LoggedTexts(kLogUserland),
            (Messages{"CCsvLoader::Load " + path + " ", "CCsvLoader::Load " + path + " succeeded "}));
  const Messages timings = LoggedTexts(kLogServer);
  ASSERT_EQ(timings.size(), 2u);
  EXPECT_EQ(timings[0].rfind("File read time (seconds): 0.", 0), 0u) << timings[0];
  EXPECT_EQ(timings[1].rfind("Analise information and build tree time (seconds): 0.", 0), 0u);

  // The plain reader takes the same file as garbage.
  CTreeItemRoot plainTree;
  CCsvLoader plain(plainTree, factory);
  EXPECT_FALSE(plain.LoadPlain(path));

  m_Log.clear();
  std::ofstream(path, std::ios::binary) << "CHANNEL\n\xC3\x28";
  EXPECT_FALSE(loader.Load(path));
  EXPECT_EQ(LoggedTexts(kLogUserland)[1], "CCsvLoader::Load File " + path +
                                              " error the file is not valid UTF-8 [invalid UTF-8 "
                                              "at byte offset 8]");
  m_Log.clear();
  std::remove(path.c_str());
  EXPECT_FALSE(loader.Load(path));
  EXPECT_EQ(LoggedTexts(kLogUserland),
            (Messages{"CCsvLoader::Load " + path + " ",
                      "CCsvLoader::Load File " + path +
                          " error the file cannot be read [No such file or directory]",
                      "CCsvLoader::Load " + path + " failed "}));
}

}  // namespace
}  // namespace virk
