// The same cases against the fake store and the JSON file, then what only
// the file does.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "fakes.h"
#include "platform/linux/json_settings_store.h"

namespace tuckshelf {
namespace {

QByteArray bytesOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

bool write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

struct stat statOf(const QString& path) {
  struct stat info {};
  return ::stat(QFile::encodeName(path).constData(), &info), info;
}

// `store` is the implementation; `reopened()` the same data as a restart
// finds it; `putWrongType(key)` leaves something other than a list of
// strings under `key`, as another version of the program might.
struct FakeStoreDriver {
  fakes::FakeSettingsStore store;
  SettingsStore& reopened() { return store; }
  void putWrongType(const QString& key) { store.values[key] = {}, store.malformed.insert(key); }
};

struct JsonStoreDriver {
  QTemporaryDir dir;
  QString path = dir.filePath("defaults.json");
  JsonSettingsStore store{path};
  std::optional<JsonSettingsStore> later;
  SettingsStore& reopened() { return later.emplace(path); }
  void putWrongType(const QString& key) {
    QJsonObject object = QJsonDocument::fromJson(bytesOf(path)).object();
    object.insert(key, 5);
    ASSERT_TRUE(write(path, QJsonDocument(object).toJson()));
  }
};

template <typename Driver>
struct SettingsStoreContract : testing::Test {
  Driver driver;
  SettingsStore& store = driver.store;
};

using StoreDrivers = testing::Types<FakeStoreDriver, JsonStoreDriver>;
TYPED_TEST_SUITE(SettingsStoreContract, StoreDrivers);

TYPED_TEST(SettingsStoreContract, ValuesReadBackExactlyAndAloneUnderTheirKey) {
  SettingsStore& store = this->store;
  EXPECT_EQ(store.stringArray("absent"), std::nullopt);
  for (const QStringList& value : std::vector<QStringList>{
           {}, {""}, {"two\nlines\r\n\t", "quote \" backslash \\ brace } ]", QString("NUL") + QChar(0) + "in"},
           {QStringLiteral("\uFEFFleading mark"), QStringLiteral("\uFEFF"), QStringLiteral("mid\uFEFFdle")},
           {QString("lone ") + QChar(0xD800) + "high", QString(QChar(0xDC00)), QStringLiteral("\U0001F600 \u200F")},
           {QString(1 << 20, u'x') + "end"}}) {
    store.setStringArray(kHistoryKey, value), store.setStringArray("other", {"kept"});
    EXPECT_TRUE(store.stringArray(kHistoryKey) == value && this->driver.reopened().stringArray(kHistoryKey) == value);
  }
  EXPECT_EQ(this->driver.reopened().stringArray("absent"), std::nullopt);
  this->driver.putWrongType("wrong");  // none, and can be replaced; the others stay
  EXPECT_EQ(this->driver.reopened().stringArray("wrong"), std::nullopt);
  EXPECT_EQ(this->driver.reopened().stringArray("other"), QStringList{"kept"});
  this->driver.reopened().setStringArray("wrong", {"w"});
  EXPECT_EQ(this->driver.reopened().stringArray("wrong"), QStringList{"w"});
}

// A damaged file is never lost: it is set aside whole, under the first free
// name, and writing goes on without it; when it cannot be, nothing is written.
TEST(JsonSettingsStore, DamagedFilesAreSetAsideWhole) {
  const QByteArray key = kHistoryKey.toUtf8();
  struct Case { QByteArray bytes; int earlierAside; const char* asideAs; bool othersKept; };
  for (const Case& c : {Case{QByteArray("{\"" + key + "\": [\"unterminated\n\0\xff", 40), 0, ".bad", false},
                        {"{\"keep\": \"me\", \"" + key + "\": [\"a\", 2]}", 0, ".bad", true},
                        {"{\"keep\": \"me\", \"" + key + "\": null}", 2, ".bad.2", true},
                        {"not json", 100, nullptr, false}}) {
    SCOPED_TRACE(c.bytes.toStdString());
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    for (int n = 0; n < c.earlierAside; ++n) write(path + ".bad" + (n ? "." + QString::number(n) : ""), "earlier");
    ASSERT_TRUE(write(path, c.bytes) && ::chmod(QFile::encodeName(path).constData(), 0600) == 0);
    JsonSettingsStore store(path);
    EXPECT_TRUE(!store.stringArray(kHistoryKey) && !store.stringArray(kHistoryKey));  // set aside once
    EXPECT_EQ(store.trySetStringArray(kHistoryKey, {"fresh"}), c.asideAs != nullptr);
    EXPECT_EQ(bytesOf(c.asideAs ? path + c.asideAs : path), c.bytes);
    if (!c.asideAs) continue;
    EXPECT_EQ(bytesOf(path + ".bad"), c.earlierAside ? "earlier" : c.bytes);
    EXPECT_EQ(statOf(path + c.asideAs).st_mode & 0777, 0600u);
    EXPECT_EQ(JsonSettingsStore(path).stringArray(kHistoryKey), QStringList{"fresh"});
    EXPECT_EQ(QJsonDocument::fromJson(bytesOf(path)).object().contains("keep"), c.othersKept);
  }
}

TEST(JsonSettingsStore, PrivateFilesReplacedWholeAndRawByteOrderMarksKept) {
  QTemporaryDir dir;
  const QString path = dir.filePath("config/tuckshelf/defaults.json");
  const mode_t umask = ::umask(022);
  JsonSettingsStore store(path);
  ASSERT_TRUE(store.trySetStringArray(kHistoryKey, {"secret"}));
  ::umask(umask);
  for (const char* folder : {"config", "config/tuckshelf"})
    EXPECT_EQ(statOf(dir.filePath(folder)).st_mode & 0777, 0700u) << folder;
  ::chmod(QFile::encodeName(path).constData(), 0644);
  const ino_t first = statOf(path).st_ino;
  ASSERT_TRUE(store.trySetStringArray(kHistoryKey, {"secret", "more"}));
  EXPECT_EQ(statOf(path).st_mode & 0777, 0600u);
  EXPECT_NE(statOf(path).st_ino, first);  // swapped in whole, never rewritten in place
  EXPECT_EQ(QDir(dir.filePath("config/tuckshelf")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"defaults.json"});
  // Qt's reader drops a raw U+FEFF that opens a string; another writer may have left one.
  ASSERT_TRUE(write(path, "{\"" + kHistoryKey.toUtf8() + "\": [\"\xEF\xBB\xBF" "a\", \"b\xEF\xBB\xBF\"]}"));
  EXPECT_EQ(store.stringArray(kHistoryKey), (QStringList{QStringLiteral("\uFEFFa"), QStringLiteral("b\uFEFF")}));
}

}  // namespace
}  // namespace tuckshelf
