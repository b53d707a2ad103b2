#include "platform/linux/json_settings_store.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace tuckshelf {
namespace {

const QString kKey = "tuckshelf.history.text";

QByteArray readBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

struct stat statOf(const QString& path) {
  struct stat info {};
  EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
  return info;
}

mode_t permissionsOf(const QString& path) { return statOf(path).st_mode & 07777; }

QJsonObject objectIn(const QString& path) {
  return QJsonDocument::fromJson(readBytes(path)).object();
}

class JsonDefaultsStoreTest : public ::testing::Test {
 protected:
  QString path(const QString& name = "defaults.json") const { return dir.filePath(name); }
  // A fresh store, so every read comes from the disk.
  std::optional<QStringList> reread() { return JsonSettingsStore(path()).stringArray(kKey); }

  QTemporaryDir dir;
};

TEST_F(JsonDefaultsStoreTest, AwkwardStringsReadBackExactly) {
  const QStringList texts = {
      "",
      "two\nlines\r\nand a tab\t",
      "quote \" backslash \\ slash / brace } bracket ]",
      QString("before") + QChar(0) + "after a NUL",
      QString(QChar(0)),
      QString::fromUtf8("emoji \xF0\x9F\x98\x80 and accents \xC3\xA9\xC3\xBC, CJK \xE4\xB8\xAD"),
      QString::fromUtf8("\xE2\x80\x8F right-to-left mark, BOM \xEF\xBB\xBF"),
      QString("\x01\x1F control"),
      QString("lone surrogates ") + QChar(0xD800) + "b" + QChar(0xDC00),
      QString(1024 * 1024, QChar('x')) + "end",
  };
  JsonSettingsStore store(path());
  ASSERT_TRUE(store.trySetStringArray(kKey, texts));
  EXPECT_EQ(reread(), texts);
  EXPECT_EQ(JsonSettingsStore(path()).stringArray(kKey), texts);  // reading changes nothing
}

TEST_F(JsonDefaultsStoreTest, EmptyListIsNotAbsence) {
  JsonSettingsStore(path()).setStringArray(kKey, {});
  EXPECT_EQ(reread(), QStringList());
  EXPECT_EQ(JsonSettingsStore(path()).stringArray("another.key"), std::nullopt);
}

TEST_F(JsonDefaultsStoreTest, WriteKeepsOtherKeysAndReplacesOnlyItsOwn) {
  writeBytes(path(), R"({"other": {"nested": [1, true, null]}, "count": 5, ")" + kKey.toUtf8() +
                         R"(": ["old"]})");
  JsonSettingsStore(path()).setStringArray(kKey, {"new", "newer"});
  const QJsonObject object = objectIn(path());
  EXPECT_EQ(object.value("count").toInt(), 5);
  EXPECT_EQ(object.value("other").toObject().value("nested").toArray().size(), 3);
  EXPECT_EQ(reread(), (QStringList{"new", "newer"}));
  EXPECT_FALSE(QFile::exists(path("defaults.json.bad")));
}

TEST_F(JsonDefaultsStoreTest, MissingFileIsNoHistoryAndReadingCreatesNothing) {
  const QString nested = dir.filePath("config/tuckshelf/defaults.json");
  EXPECT_EQ(JsonSettingsStore(nested).stringArray(kKey), std::nullopt);
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("config")));
}

// Malformed files: set aside untouched, and never lost to the next write.

TEST_F(JsonDefaultsStoreTest, InvalidJsonIsMovedAsideByteForByteAndWritingGoesOn) {
  const QByteArray garbage("{\"tuckshelf.history.text\": [\"unterminated\n\0\xff", 40);
  writeBytes(path(), garbage);
  JsonSettingsStore store(path());
  EXPECT_EQ(store.stringArray(kKey), std::nullopt);
  EXPECT_EQ(readBytes(path("defaults.json.bad")), garbage);
  EXPECT_FALSE(QFile::exists(path()));

  ASSERT_TRUE(store.trySetStringArray(kKey, {"fresh"}));
  EXPECT_EQ(reread(), QStringList{"fresh"});
  EXPECT_EQ(readBytes(path("defaults.json.bad")), garbage);
}

TEST_F(JsonDefaultsStoreTest, EarlierBadFilesAreNeverReplaced) {
  writeBytes(path("defaults.json.bad"), "first");
  writeBytes(path("defaults.json.bad.1"), "second");
  writeBytes(path(), "third");
  // A write, not a read, meets the bad file here: it must still set it aside.
  ASSERT_TRUE(JsonSettingsStore(path()).trySetStringArray(kKey, {"x"}));
  EXPECT_EQ(readBytes(path("defaults.json.bad")), "first");
  EXPECT_EQ(readBytes(path("defaults.json.bad.1")), "second");
  EXPECT_EQ(readBytes(path("defaults.json.bad.2")), "third");
}

TEST_F(JsonDefaultsStoreTest, BadFileThatCannotBeSetAsideIsNotOverwritten) {
  writeBytes(path("defaults.json.bad"), "taken");
  for (int n = 1; n < 100; ++n) writeBytes(path("defaults.json.bad." + QString::number(n)), "taken");
  writeBytes(path(), "not json");
  JsonSettingsStore store(path());
  EXPECT_EQ(store.stringArray(kKey), std::nullopt);
  EXPECT_FALSE(store.trySetStringArray(kKey, {"x"}));
  EXPECT_EQ(readBytes(path()), "not json");
}

TEST_F(JsonDefaultsStoreTest, TopLevelThatIsNotAnObjectIsMovedAside) {
  writeBytes(path(), R"(["tuckshelf.history.text", "a"])");
  EXPECT_EQ(reread(), std::nullopt);
  EXPECT_EQ(readBytes(path("defaults.json.bad")), R"(["tuckshelf.history.text", "a"])");
}

TEST_F(JsonDefaultsStoreTest, WrongValueIsCopiedAsideOnceAndOtherKeysStay) {
  for (const QByteArray& value : {QByteArray(R"("just a string")"), QByteArray(R"(["a", 2, "c"])"),
                                 QByteArray(R"({"0": "a"})"), QByteArray("null")}) {
    SCOPED_TRACE(value.toStdString());
    QTemporaryDir scratch;
    const QString file = scratch.filePath("defaults.json");
    const QByteArray original = R"({"keep": "me", ")" + kKey.toUtf8() + "\": " + value + "}";
    writeBytes(file, original);
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0600), 0);

    JsonSettingsStore store(file);
    EXPECT_EQ(store.stringArray(kKey), std::nullopt);
    EXPECT_EQ(store.stringArray(kKey), std::nullopt);
    EXPECT_EQ(readBytes(file + ".bad"), original);
    EXPECT_EQ(permissionsOf(file + ".bad"), 0600u);
    EXPECT_FALSE(QFile::exists(file + ".bad.1"));
    EXPECT_EQ(objectIn(file).value("keep").toString(), "me");

    ASSERT_TRUE(store.trySetStringArray(kKey, {"b"}));
    EXPECT_EQ(objectIn(file).value("keep").toString(), "me");
    EXPECT_EQ(JsonSettingsStore(file).stringArray(kKey), QStringList{"b"});
  }
}

TEST_F(JsonDefaultsStoreTest, OversizedFileIsMovedAsideUnread) {
  // Sparse: 600 MiB that take no disk.
  const QString file = path();
  writeBytes(file, "{}");
  ASSERT_EQ(::truncate(QFile::encodeName(file).constData(), qint64(600) << 20), 0);
  EXPECT_EQ(reread(), std::nullopt);
  EXPECT_EQ(QFileInfo(path("defaults.json.bad")).size(), qint64(600) << 20);
}

TEST_F(JsonDefaultsStoreTest, FolderInPlaceOfTheFileIsMovedAside) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("defaults.json"));
  ASSERT_TRUE(JsonSettingsStore(path()).trySetStringArray(kKey, {"x"}));
  EXPECT_TRUE(QFileInfo(path("defaults.json.bad")).isDir());
  EXPECT_EQ(reread(), QStringList{"x"});
}

// Files on disk: private modes, atomic replacement, failures.

class UmaskGuard {
 public:
  explicit UmaskGuard(mode_t mask) : previous_(::umask(mask)) {}
  ~UmaskGuard() { ::umask(previous_); }

 private:
  mode_t previous_;
};

TEST_F(JsonDefaultsStoreTest, NewFoldersAre0700AndTheFileStays0600) {
  const UmaskGuard umask(022);
  const QString file = dir.filePath("config/tuckshelf/defaults.json");
  JsonSettingsStore store(file);
  ASSERT_TRUE(store.trySetStringArray(kKey, {"secret"}));
  EXPECT_EQ(permissionsOf(dir.filePath("config")), 0700u);
  EXPECT_EQ(permissionsOf(dir.filePath("config/tuckshelf")), 0700u);
  EXPECT_EQ(permissionsOf(file), 0600u);

  ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0644), 0);
  ASSERT_TRUE(store.trySetStringArray(kKey, {"secret", "another"}));
  EXPECT_EQ(permissionsOf(file), 0600u);
}

TEST_F(JsonDefaultsStoreTest, RewriteReplacesTheFileAndLeavesNoTemporaries) {
  JsonSettingsStore store(path());
  ASSERT_TRUE(store.trySetStringArray(kKey, {"one"}));
  const ino_t firstInode = statOf(path()).st_ino;
  ASSERT_TRUE(store.trySetStringArray(kKey, {"two"}));
  // A new inode: the old file was swapped out whole, not rewritten in place.
  EXPECT_NE(statOf(path()).st_ino, firstInode);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"defaults.json"});
}

TEST_F(JsonDefaultsStoreTest, SymlinkedFileIsWrittenThroughToItsTarget) {
  QTemporaryDir elsewhere;
  const QString target = elsewhere.filePath("real.json");
  writeBytes(target, R"({"keep": 1})");
  ASSERT_TRUE(QFile::link(target, path()));
  ASSERT_TRUE(JsonSettingsStore(path()).trySetStringArray(kKey, {"through"}));
  EXPECT_TRUE(QFileInfo(path()).isSymLink());
  EXPECT_EQ(objectIn(target).value("keep").toInt(), 1);
  EXPECT_EQ(reread(), QStringList{"through"});
}

TEST_F(JsonDefaultsStoreTest, UnwritableFolderFailsWithoutLosingAnything) {
  // A regular file where the folder should be: fails even for root.
  writeBytes(path("blocked"), "user data");
  JsonSettingsStore store(dir.filePath("blocked/tuckshelf/defaults.json"));
  EXPECT_EQ(store.stringArray(kKey), std::nullopt);
  EXPECT_FALSE(store.trySetStringArray(kKey, {"x"}));
  store.setStringArray(kKey, {"y"});
  EXPECT_EQ(readBytes(path("blocked")), "user data");
}

class EnvironmentGuard {
 public:
  explicit EnvironmentGuard(const char* name)
      : name_(name), had_(qEnvironmentVariableIsSet(name)), value_(qgetenv(name)) {}
  ~EnvironmentGuard() { had_ ? qputenv(name_, value_) : qunsetenv(name_); }

 private:
  const char* name_;
  bool had_;
  QByteArray value_;
};

TEST(JsonDefaultsStorePath, FollowsXdgConfigHomeOnlyWhenAbsolute) {
  const EnvironmentGuard xdg("XDG_CONFIG_HOME");
  const EnvironmentGuard home("HOME");
  qputenv("HOME", "/home/someone");

  qputenv("XDG_CONFIG_HOME", "/custom/config");
  EXPECT_EQ(JsonSettingsStore::defaultPath(), "/custom/config/tuckshelf/defaults.json");
  for (const char* ignored : {"", "relative/config"}) {
    qputenv("XDG_CONFIG_HOME", ignored);
    EXPECT_EQ(JsonSettingsStore::defaultPath(), "/home/someone/.config/tuckshelf/defaults.json");
  }
  qunsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(JsonSettingsStore::defaultPath(), "/home/someone/.config/tuckshelf/defaults.json");
}

}  // namespace
}  // namespace tuckshelf
