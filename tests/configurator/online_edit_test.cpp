// The configurator connected to the real server program: the search dialog
// with each identity kind (certificates made by keyforge), then every kind of
// edit through the window's own actions, after each of which an independent
// client (open62541's, not the configurator's) browses the server and must
// find exactly the window's tree.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QThread>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <set>

#include "app/mainwindow.h"
#include "dialogs/security/dialogchoosecertificate.h"
#include "fake_prompts.h"
#include "loopback_listener.h"
#include "model/item_info.h"
#include "opcua/opcua_wrapper.h"
#include "opcua/searchopcuaserver.h"
#include "opcua_client.h"
#include "server_process.h"
#include "temp_folder.h"
#include "test_config.h"
#include "ua_calls.h"
#include "ui_mainwindow.h"
#include "views/tablemodelvariable.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
namespace st = virk::server::test;
using virk::CItem;

const char kNone[] = "http://opcfoundation.org/UA/SecurityPolicy#None (None)";
const char kEncrypted[] = "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256 (Sign and Encrypt)";

// keyforge's key and certificate into `folder` (server_cert.der, server_key.pem).
bool Keyforge(const fs::path& folder, const std::string& uri) {
  fs::create_directories(folder);
  QProcess keyforge;
  keyforge.start(KEYFORGE_PATH, {"-CN=virk test", "-O=Virk", "-IP=127.0.0.1", "-size=2048", "-alg=Sha256", "-val=30",
                                 QString::fromStdString("-der=" + folder.string()),
                                 QString::fromStdString("-pem=" + folder.string()),
                                 QString::fromStdString("-URI=" + uri)});
  return keyforge.waitForFinished(30000) && keyforge.exitCode() == 0 && fs::exists(folder / "server_cert.der");
}

void BrowseInto(UA_Client* client, const UA_NodeId& node, int depth, std::set<std::string>& names) {
  UA_BrowseDescription description;
  UA_BrowseDescription_init(&description);
  description.nodeId = node;
  description.browseDirection = UA_BROWSEDIRECTION_FORWARD;
  description.referenceTypeId = UA_NODEID_NUMERIC(0, UA_NS0ID_HIERARCHICALREFERENCES);
  description.includeSubtypes = true;
  description.resultMask = UA_BROWSERESULTMASK_ALL;
  UA_BrowseRequest request;
  UA_BrowseRequest_init(&request);
  request.nodesToBrowse = &description;
  request.nodesToBrowseSize = 1;
  UA_BrowseResponse response = UA_Client_Service_browse(client, request);
  for (size_t r = 0; r < response.resultsSize; ++r)
    for (size_t i = 0; i < response.results[r].referencesSize; ++i) {
      const UA_ReferenceDescription& ref = response.results[r].references[i];
      if (ref.nodeId.nodeId.identifierType != UA_NODEIDTYPE_STRING || ref.nodeId.nodeId.namespaceIndex != 2) continue;
      // Objects are channels, devices and groups; the variables of a group its
      // tags (a device's own variables are its status, not configuration).
      const bool object = ref.nodeClass == UA_NODECLASS_OBJECT;
      if (!object && !(ref.nodeClass == UA_NODECLASS_VARIABLE && depth == 3)) continue;
      names.insert(st::Text(ref.nodeId.nodeId.identifier.string));
      if (object) BrowseInto(client, ref.nodeId.nodeId, depth + 1, names);
    }
  UA_BrowseResponse_clear(&response);
}

std::set<std::string> ServerTree(uint16_t port) {
  st::OpcUaClient client;
  if (!st::Connect(client, st::LoopbackUrl(port))) return {"<the observer could not connect>"};
  std::set<std::string> names;
  BrowseInto(client.get(), st::GatewayNode("Каналы"), 0, names);
  return names;
}

void CollectNames(const CItem& item, std::set<std::string>& names) {
  for (const auto& [name, child] : item.Children()) {
    names.insert(child->FullName());
    CollectNames(*child, names);
  }
}

std::set<std::string> WindowTree(const CItem& root) {
  std::set<std::string> names;
  CollectNames(root, names);
  return names;
}

std::string Listed(const std::set<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += name + "\n";
  return text;
}

template <class T>
T* Child(QObject* parent, const char* name) {
  T* child = parent->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

// How the operator fills the search dialog.
struct Login {
  const char* endpoint = kNone;
  const char* radio = "radioButton_anonimus";
  QString user, password;
  fs::path certificate;  // folder with the client's certificate and key
  fs::path trust;        // the client's trusted folder
};

class OnlineEditTest : public ::testing::Test {
 protected:
  // The server on an emulated configuration with encrypted endpoints, one
  // user, anonymous access and the options added by hand.
  void StartServer(const std::string& handOptions = {}) {
    ASSERT_TRUE(Keyforge(home / "server", "urn:virkopcua.server.application"));
    ASSERT_TRUE(Keyforge(home / "client", "urn:virk:test:configurator"));
    ASSERT_TRUE(Keyforge(home / "stranger", "urn:virk:test:stranger"));
    fs::create_directories(home / "server_trust");
    fs::create_directories(home / "client_trust");
    fs::copy_file(home / "client/server_cert.der", home / "server_trust/client.der");
    fs::copy_file(home / "server/server_cert.der", home / "client_trust/server.der");
    virk::StartOptions options;
    options.port = std::to_string(port);
    options.allowanonimus = "true";
    options.derFile = home / "server/server_cert.der";
    options.pemFile = home / "server/server_key.pem";
    options.trustFolder = home / "server_trust";
    std::string error;
    virk::GeneratorOptions records;
    records.groups = 2;
    records.tags = 4;
    ASSERT_TRUE(st::WriteTestConfig(config, options, {{"operator", "secret"}}, error, handOptions, records)) << error;
    server = std::make_unique<st::ServerProcess>(VIRK_SERVER_PROGRAM, std::vector<std::string>{config}, home.Path(),
                                                 home / "output.txt");
    ASSERT_TRUE(st::WaitUntilServing(port, 20s)) << server->Output();
    prompts.fileName = QString::fromStdString(config);
    window.Form()->open_action->trigger();
    ASSERT_EQ(window.Root().Children().size(), 1u) << prompts.messages.join('\n').toStdString();
  }

  // Runs "Подключиться к серверу OPC UA" and the search dialog as the operator
  // would; the dialog's log.
  QString ConnectWindow(const Login& login) {
    QString log;
    OnNextDialog([&](QDialog* dialog) {
      Child<QLineEdit>(dialog, "le_device")->setText(url);
      Child<QPushButton>(dialog, "pb_searchDevice")->click();
      Child<QPushButton>(dialog, "pb_getEndPoint")->click();
      auto* endpoints = Child<QComboBox>(dialog, "cb_endpoint");
      endpoints->setCurrentIndex(endpoints->findText(login.endpoint));
      Child<QRadioButton>(dialog, login.radio)->click();
      Child<QLineEdit>(dialog, "le_user")->setText(login.user);
      Child<QLineEdit>(dialog, "le_password")->setText(login.password);
      Child<QCheckBox>(dialog, "checkBox_browse")->setChecked(true);
      if (!login.certificate.empty()) {
        OnNextDialog([&](QDialog* paths) {
          auto* choose = qobject_cast<DialogChooseCertificate*>(paths);
          EXPECT_NE(choose, nullptr);
          if (choose == nullptr) return false;
          choose->SetFields(QString::fromStdString(login.certificate / "server_cert.der"),
                            QString::fromStdString(login.certificate / "server_key.pem"),
                            QString::fromStdString(login.trust));
          Child<QPushButton>(paths, "pushButton")->click();
          return true;
        });
      }
      Child<QPushButton>(dialog, "pb_connect")->click();
      log = Child<QTextEdit>(dialog, "te_log")->toPlainText();
      return true;
    });
    window.Form()->action->trigger();
    return log;
  }

  bool Connected() const { return window.StatusText() == QString(" Подключены к серверу (%1).").arg(url); }

  void ExpectSameTrees(const char* step) {
    EXPECT_EQ(Listed(WindowTree(window.Root())), Listed(ServerTree(port))) << step;
  }

  CItem* Find(const std::string& path) {
    CItem* item = &window.Root();
    for (size_t start = 0; item != nullptr && start <= path.size();) {
      const size_t dot = std::min(path.find('.', start), path.size());
      item = item->FindChild(path.substr(start, dot - start));
      start = dot + 1;
    }
    return item;
  }

  // Selects the tag rows `rows` of the shown group.
  void SelectTags(std::initializer_list<int> rows) {
    QTableView* table = window.Form()->tableView;
    table->clearSelection();
    for (int row : rows)
      table->selectionModel()->select(table->model()->index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }

  st::TempFolder home;
  const fs::path config = home / "gateway.cfg";
  const uint16_t port = virk::test::ClosedLoopbackPort();
  const QString url = QString::fromStdString(st::LoopbackUrl(port));
  std::unique_ptr<st::ServerProcess> server;
  FakePrompts prompts;
  MainWindow window;
};

TEST_F(OnlineEditTest, EveryIdentityKindConnectsAndWrongCredentialsAreRefused) {
  ASSERT_NO_FATAL_FAILURE(StartServer());
  const fs::path client = home / "client", trust = home / "client_trust";
  struct Case {
    const char* what;
    Login login;
    bool accepted;
  } cases[] = {
      {"anonymous over None", {kNone, "radioButton_anonimus", {}, {}, {}, {}}, true},
      {"anonymous encrypted", {kEncrypted, "radioButton_anonimusEncrypt", {}, {}, client, trust}, true},
      {"user and password", {kEncrypted, "radioButton_userpassword", "operator", "secret", client, trust}, true},
      {"certificate", {kEncrypted, "radioButton_certificate", {}, {}, client, trust}, true},
      {"wrong password", {kEncrypted, "radioButton_userpassword", "operator", "wrong", client, trust}, false},
      {"untrusted certificate", {kEncrypted, "radioButton_certificate", {}, {}, home / "stranger", trust}, false},
  };
  for (const Case& c : cases) {
    const QString log = ConnectWindow(c.login);
    EXPECT_EQ(Connected(), c.accepted) << c.what << "\n" << log.toStdString();
    if (c.accepted) {
      EXPECT_TRUE(log.contains("] Подключение успешно завершено.")) << c.what;
      EXPECT_TRUE(log.contains("Найдена нода: Channel_0.Device_0.Group_0.Tag_0 - ns=2;s=Channel_0.Device_0.Group_0.Tag_0"))
          << c.what << "\n" << log.toStdString();
      // Reopened while connected: disconnecting there hands the window back to local edits.
      OnNextDialog([](QDialog* dialog) {
        EXPECT_FALSE(Child<QPushButton>(dialog, "pb_connect")->isVisibleTo(dialog));
        Child<QPushButton>(dialog, "pb_disconnect")->click();
        return true;
      });
      window.Form()->action->trigger();
    } else {
      EXPECT_TRUE(log.contains("] Не удалось подключиться к конечной точке.")) << c.what << "\n" << log.toStdString();
    }
    EXPECT_EQ(window.StatusText(), "Сервер не запущен") << c.what;
  }
  EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('\n').toStdString();
}

TEST_F(OnlineEditTest, EveryEditReachesTheServerAndBothTreesStayEqual) {
  ASSERT_NO_FATAL_FAILURE(StartServer());
  ConnectWindow(Login());
  ASSERT_TRUE(Connected()) << window.StatusText().toStdString();
  ExpectSameTrees("connected");
  Ui::MainWindow* ui = window.Form();

  window.Select(&window.Root());
  OnNextDialog([&](QDialog* dialog) {  // a TCP channel to a closed port: no slave needed
    Child<QComboBox>(dialog, "typeBox")->setCurrentIndex(1);
    Child<QLineEdit>(dialog, "ipEdit")->setText("127.0.0.1");
    Child<QSpinBox>(dialog, "tcpPortBox")->setValue(virk::test::ClosedLoopbackPort());
    return true;
  });
  ui->add_channel_action->trigger();
  ASSERT_NE(Find("Channel_1"), nullptr);
  ExpectSameTrees("channel added");
  OnNextDialog([](QDialog* dialog) {
    Child<QComboBox>(dialog, "emulationBox")->setCurrentIndex(1);
    return true;
  });
  ui->add_device_action->trigger();
  ExpectSameTrees("device added");
  OnNextDialog([](QDialog*) { return true; });
  ui->add_group_action->trigger();
  ASSERT_NE(Find("Channel_1.Device_1.Group_1"), nullptr);
  ExpectSameTrees("group added");
  OnNextDialog([](QDialog* dialog) {
    Child<QSpinBox>(dialog, "spinBox_5")->setValue(3);
    return true;
  });
  ui->add_tag_action->trigger();
  EXPECT_EQ(Find("Channel_1.Device_1.Group_1")->Children().size(), 3u);
  ExpectSameTrees("three tags added");

  // Edits of each kind; the group is renamed.
  window.Select(Find("Channel_1"));
  OnNextDialog([](QDialog* dialog) {
    Child<QSpinBox>(dialog, "timeOutBox")->setValue(700);
    return true;
  });
  window.slotEditItemTableDoubleClick();  // the edit action is for devices and below
  window.Select(Find("Channel_1.Device_1"));
  OnNextDialog([](QDialog* dialog) {
    Child<QSpinBox>(dialog, "addressBox")->setValue(7);
    return true;
  });
  ui->edit_action->trigger();
  window.Select(Find("Channel_1.Device_1.Group_1"));
  OnNextDialog([](QDialog* dialog) {
    Child<QLineEdit>(dialog, "nameEdit")->setText("Renamed");
    return true;
  });
  ui->edit_action->trigger();
  ASSERT_NE(Find("Channel_1.Device_1.Renamed"), nullptr) << server->Output();
  ExpectSameTrees("channel, device and group edited");
  SelectTags({0});
  OnNextDialog([](QDialog* dialog) {
    Child<QComboBox>(dialog, "regTypeBox")->setCurrentIndex(3);  // a holding register
    Child<QComboBox>(dialog, "valTypeBox")->setCurrentIndex(virk::kTypeInt16);
    return true;
  });
  window.tag_edit_action_triggered();
  const std::string edited = Find("Channel_1.Device_1.Renamed")->Children().begin()->second->FullName();
  st::OpcUaClient observer;
  ASSERT_TRUE(st::Connect(observer, st::LoopbackUrl(port)));
  st::ReadResult type;
  st::Read(observer.get(), edited, UA_ATTRIBUTEID_DATATYPE, type);
  EXPECT_TRUE(type.Type() == &UA_TYPES[UA_TYPES_NODEID] &&
              UA_NodeId_equal(static_cast<const UA_NodeId*>(type.value.value.data), &UA_TYPES[UA_TYPES_INT16].typeId))
      << "the server's tag " << edited << " became an Int16";

  // Delete a tag, paste two into the configuration's own group, delete the device.
  SelectTags({1});
  window.tag_delete_action_triggered();
  EXPECT_EQ(Find("Channel_1.Device_1.Renamed")->Children().size(), 2u);
  ExpectSameTrees("tag deleted");
  SelectTags({0, 1});
  window.tag_copy_action_triggered();
  window.Select(Find("Channel_0.Device_0.Group_0"));
  window.tag_paste_action_triggered();
  EXPECT_EQ(Find("Channel_0.Device_0.Group_0")->Children().size(), 4u);
  ExpectSameTrees("tags pasted");
  window.Select(Find("Channel_1.Device_1"));
  ui->delete_action->trigger();
  EXPECT_EQ(Find("Channel_1.Device_1"), nullptr);
  ExpectSameTrees("device deleted");
  EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('\n').toStdString();
  EXPECT_TRUE(window.HasUnsavedChanges());
}

// A server that refuses the session's edits answers "Failed" with a good
// status: the window says so and keeps its tree equal to the server's.
TEST_F(OnlineEditTest, AnEditTheServerRefusesIsShownAndTakenBack) {
  ASSERT_NO_FATAL_FAILURE(StartServer("anonymousReadOnly = true\n"));
  ConnectWindow(Login());
  ASSERT_TRUE(Connected());
  window.Select(&window.Root());
  OnNextDialog([](QDialog*) { return true; });
  window.Form()->add_channel_action->trigger();
  window.Select(Find("Channel_0.Device_0.Group_0"));
  OnNextDialog([](QDialog* dialog) {
    Child<QLineEdit>(dialog, "nameEdit")->setText("Renamed");
    return true;
  });
  window.Form()->edit_action->trigger();
  EXPECT_EQ(prompts.messages,
            QStringList({"Внимание: Добавление канала завершилось неудачно, на сервере произошла ошибка",
                         "Внимание: Изменения группы завершилось неудачно"}));
  EXPECT_NE(Find("Channel_0.Device_0.Group_0"), nullptr);
  EXPECT_EQ(window.TreeItemOf(Find("Channel_0.Device_0.Group_0"))->text(0), "Group_0");
  ExpectSameTrees("both edits refused");
}

TEST_F(OnlineEditTest, AServerKilledWhileConnectedIsShownAndTheWindowGoesOnLocally) {
  ASSERT_NO_FATAL_FAILURE(StartServer());
  ConnectWindow(Login());
  ASSERT_TRUE(Connected());
  ASSERT_EQ(server->StopWith(SIGKILL, 10s), st::ServerProcess::kKilledBySignal);
  for (int i = 0; i < 200 && Connected(); ++i) QTest::qWait(50);  // the request time-out bounds it
  EXPECT_EQ(window.StatusText(), "Сервер не запущен");
  ASSERT_EQ(prompts.messages.size(), 1);
  EXPECT_TRUE(prompts.messages[0].startsWith("Внимание: Соединение с сервером потеряно"));
  window.Select(&window.Root());
  OnNextDialog([](QDialog*) { return true; });
  window.Form()->add_channel_action->trigger();
  EXPECT_NE(Find("Channel_1"), nullptr) << "a local edit needs no server";
  EXPECT_EQ(prompts.messages.size(), 1);
}

}  // namespace

// The connection after a server start: the server comes up only after the
// first discovery was refused, and the next attempt (5 s later) connects.
TEST(AutomaticConnection, RetriesAServerStillStartingAndConnectsOverNone) {
  st::TempFolder home;
  const uint16_t port = virk::test::ClosedLoopbackPort();
  virk::StartOptions options;
  options.port = std::to_string(port);
  std::string error;
  ASSERT_TRUE(st::WriteTestConfig(home / "gateway.cfg", options, {}, error)) << error;
  OPCUAWrapper wrapper;
  SearchOPCUAServer dialog(false, nullptr, {}, {}, &wrapper);
  QStringList labels;
  QObject::connect(&dialog, &SearchOPCUAServer::signalSetLabelProgressBar, &dialog,
                   [&labels](const QString& label) { labels << label; });
  int code = -1;
  std::unique_ptr<QThread> worker(QThread::create([&] { code = dialog.ConnectAutomatically(port); }));
  worker->start();
  QTest::qWait(2600);  // past the wait for a listener: the first discovery is refused
  st::ServerProcess server(VIRK_SERVER_PROGRAM, {home / "gateway.cfg"}, home.Path(), home / "output.txt");
  for (int i = 0; i < 300 && !worker->isFinished(); ++i) QTest::qWait(50);
  ASSERT_TRUE(worker->wait(1000));
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(code, 0) << labels.join('\n').toStdString();
  EXPECT_TRUE(wrapper.IsConnected());
  EXPECT_TRUE(dialog.Connected());
  EXPECT_EQ(dialog.ServerUrl(), QString::fromStdString(st::LoopbackUrl(port)));
  EXPECT_TRUE(labels.contains("Подключаемся к серверу, пожалуйста, подождите... (2 из 10)")) << labels.join('\n').toStdString();
  EXPECT_FALSE(labels.contains("Подключаемся к серверу, пожалуйста, подождите... (3 из 10)"));
  EXPECT_TRUE(wrapper.StopExchange()) << "a session that works";
}
