// Any bytes as the stored defaults file.
//
// Every run goes through the pure steps the store reads and writes with: no
// crash, and whatever is read survives being written and read again, as the
// history and the file's other keys must across restarts.
//
// One run in sixteen (chosen by the input, so that a finding reproduces), and
// every run of the replay build, also goes through the real store on a
// tmpfs: the read either yields what the file holds or keeps the exact bytes
// aside in `.bad`, and a write that follows reads back exactly while the
// file's other keys stay. That path costs some seventy system calls a run,
// which is why it gets only a share.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QtGlobal>

#include "fuzz_check.h"
#include "history/history_list.h"
#include "platform/linux/json_settings_parse.h"
#include "platform/linux/json_settings_store.h"

using namespace tuckshelf;

namespace {

constexpr std::uint32_t kFileRunShare = 16;
#ifdef TUCKSHELF_FUZZ_REPLAY
constexpr bool kEveryRunThroughFiles = true;  // a corpus is only a few hundred files
#else
constexpr bool kEveryRunThroughFiles = false;
#endif

// What a JSON value says, appended to `out` in a form that compares by
// content. Neither QJsonObject's == nor its written bytes do: == also
// compares how Qt holds each string inside, and Qt orders keys with
// characters above U+FFFF differently when it parses and when it inserts.
// Appended to one buffer, as building a string per level is quadratic in
// the nesting depth, which reaches a thousand here.
void appendCanonical(const QJsonValue& value, QByteArray& out) {
  switch (value.type()) {
    case QJsonValue::Object: {
      const QJsonObject object = value.toObject();
      std::vector<QByteArray> members;
      for (auto it = object.begin(); it != object.end(); ++it) {
        QByteArray member;
        appendCanonical(it.key(), member);
        member += ':';
        appendCanonical(it.value(), member);
        members.push_back(std::move(member));
      }
      std::sort(members.begin(), members.end());
      out += '{';
      for (const QByteArray& member : members) out += member + ',';
      out += '}';
      return;
    }
    case QJsonValue::Array:
      out += '[';
      for (const QJsonValue& element : value.toArray()) {
        appendCanonical(element, out);
        out += ',';
      }
      out += ']';
      return;
    case QJsonValue::String: {
      const QString string = value.toString();
      out += '"';
      out += QByteArray(reinterpret_cast<const char*>(string.utf16()), string.size() * 2).toHex();
      out += '"';
      return;
    }
    case QJsonValue::Double:
      out += QByteArray::number(value.toDouble(), 'g', 17);
      return;
    case QJsonValue::Bool:
      out += value.toBool() ? "true" : "false";
      return;
    default:
      out += "null";
      return;
  }
}

QByteArray canonical(const QJsonObject& object) {
  QByteArray out;
  appendCanonical(object, out);
  return out;
}

bool sameObjects(const std::optional<QJsonObject>& a, const QJsonObject& b) {
  return a && canonical(*a) == canonical(b);
}

void checkPureSteps(const QByteArray& bytes) {
  const std::optional<QJsonObject> object = parseSettingsObject(bytes);
  if (!object) return;
  FUZZ_CHECK(sameObjects(parseSettingsObject(settingsFileBytes(*object)), *object));
  // Every key, not only the history's, so any shape of value is tried.
  for (auto it = object->begin(); it != object->end(); ++it) {
    const std::optional<QStringList> list = stringListFrom(it.value());
    if (!list) {
      FUZZ_CHECK(!it.value().isArray() || !it.value().toArray().isEmpty());
      continue;
    }
    FUZZ_CHECK(it.value().isArray() && it.value().toArray().size() == list->size());
    const QJsonObject history{{kHistoryKey, QJsonArray::fromStringList(*list)}};
    const std::optional<QJsonObject> stored = parseSettingsObject(settingsFileBytes(history));
    FUZZ_CHECK(stored && stringListFrom(stored->value(kHistoryKey)) == list);
  }
}

// A tmpfs folder of this process's own: every file run writes and renames
// a few files in it.
QString folder;

// A finding ends a run without exit handlers and leaves its folder behind;
// the next run removes those of processes that are gone.
void removeStaleFolders(const QString& base) {
  const QString prefix = QStringLiteral("tuckshelf-fuzz-");
  const QDir dir(base);
  for (const QString& name : dir.entryList({prefix + '*'}, QDir::Dirs)) {
    bool isNumber = false;
    const int pid = name.mid(prefix.size()).toInt(&isNumber);
    if (isNumber && ::kill(pid, 0) != 0 && errno == ESRCH)
      QDir(dir.filePath(name)).removeRecursively();
  }
}

std::optional<QByteArray> bytesOf(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return file.readAll();
}

void checkRealStore(const QByteArray& bytes) {
  const QString& key = kHistoryKey;
  const QString path = folder + "/defaults.json";
  const QString aside = path + ".bad";
  // What an earlier run left. Removed by name: listing the folder would
  // slow every run down, as a tmpfs lists the names of every temporary
  // file QSaveFile ever made there.
  for (const QString& name : {path, aside}) FUZZ_CHECK(!QFile::exists(name) || QFile::remove(name));
  {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
  }

  const std::optional<QJsonObject> parsed = parseSettingsObject(bytes);
  const bool wrongValue = parsed && parsed->contains(key) && !stringListFrom(parsed->value(key));
  JsonSettingsStore store(path);
  const std::optional<QStringList> read = store.stringArray(key);

  // What the rest of the file must still hold after any read or write.
  QJsonObject others = parsed.value_or(QJsonObject());
  others.remove(key);
  if (!parsed || wrongValue) {
    FUZZ_CHECK(!read);
    FUZZ_CHECK(bytesOf(aside) == bytes);
    if (parsed) {
      FUZZ_CHECK(sameObjects(parseSettingsObject(bytesOf(path).value_or("")), others));
    } else {
      FUZZ_CHECK(!QFile::exists(path));
    }
  } else {
    FUZZ_CHECK(read == stringListFrom(parsed->value(key)));
    FUZZ_CHECK(!QFile::exists(aside));
    FUZZ_CHECK(bytesOf(path) == bytes);  // reading never rewrites a good file
  }

  // A history made of the input itself, lone surrogates included.
  QString utf16(bytes.size() / 2, Qt::Uninitialized);
  std::memcpy(utf16.data(), bytes.constData(), std::size_t(bytes.size() / 2 * 2));
  const QStringList next = {QString::fromUtf8(bytes), utf16, QStringLiteral("newest")};
  FUZZ_CHECK(store.trySetStringArray(key, next));
  FUZZ_CHECK(JsonSettingsStore(path).stringArray(key) == next);
  std::optional<QJsonObject> written = parseSettingsObject(bytesOf(path).value_or(""));
  if (written) written->remove(key);
  FUZZ_CHECK(sameObjects(written, others));
  if (!parsed || wrongValue) FUZZ_CHECK(bytesOf(aside) == bytes);
  // Nothing else set aside: the first free name was taken.
  FUZZ_CHECK(!QFile::exists(aside + ".1"));
}

// FNV-1a: picks the file runs from the input alone.
std::uint32_t hashOf(const std::uint8_t* data, std::size_t size) {
  std::uint32_t h = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
  return h;
}

// The store warns once per file set aside; millions of runs would drown the
// fuzzer's own output.
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qInstallMessageHandler(quiet);
  const QString base = QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
  removeStaleFolders(base);
  folder = base + "/tuckshelf-fuzz-" + QString::number(::getpid());
  FUZZ_CHECK(QDir().mkpath(folder));
  std::atexit([] { QDir(folder).removeRecursively(); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  checkPureSteps(bytes);
  if (kEveryRunThroughFiles || hashOf(data, size) % kFileRunShare == 0) checkRealStore(bytes);
  return 0;
}
