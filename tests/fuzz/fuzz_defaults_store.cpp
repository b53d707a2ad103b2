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

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "history/history_list.h"
#include "platform/linux/json_settings_parse.h"
#include "platform/linux/json_settings_store.h"

using namespace tuckshelf;

namespace {

#ifdef TUCKSHELF_FUZZ_REPLAY
constexpr std::uint32_t kFileRunShare = 1;  // a corpus is only a few hundred files
#else
constexpr std::uint32_t kFileRunShare = 16;
#endif

// What a JSON value says, appended to `out` in a form that compares by
// content. Neither QJsonObject's == nor its written bytes do: == also
// compares how Qt holds each string inside, and Qt orders keys with
// characters above U+FFFF differently when it parses and when it inserts.
// Appended to one buffer, as building a string per level is quadratic in
// the nesting depth, which reaches a thousand here.
void appendCanonical(const QJsonValue& value, QByteArray& out) {
  if (value.isObject()) {
    const QJsonObject object = value.toObject();
    QByteArrayList members;
    for (auto it = object.begin(); it != object.end(); ++it) {
      QByteArray& member = members.emplace_back();
      appendCanonical(it.key(), member);
      appendCanonical(it.value(), member += ':');
    }
    std::sort(members.begin(), members.end());
    out += '{' + members.join(',') + '}';
  } else if (value.isArray()) {
    out += '[';
    for (const QJsonValue& element : value.toArray()) appendCanonical(element, out), out += ',';
    out += ']';
  } else if (value.isString()) {
    const QString s = value.toString();
    out += '"' + QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2).toHex() + '"';
  } else {
    out += QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);  // numbers, booleans, null
  }
}

bool same(const std::optional<QJsonObject>& a, const std::optional<QJsonObject>& b) {
  QByteArray x, y;
  if (a && b) appendCanonical(*a, x), appendCanonical(*b, y);
  return a && b && x == y;
}

void checkPureSteps(const QByteArray& bytes) {
  const std::optional<QJsonObject> object = parseSettingsObject(bytes);
  if (!object) return;
  FUZZ_CHECK(same(parseSettingsObject(settingsFileBytes(*object)), object));
  // Every key, not only the history's, so any shape of value is tried.
  for (auto it = object->begin(); it != object->end(); ++it) {
    const std::optional<QStringList> list = stringListFrom(it.value());
    const QJsonArray array = it.value().toArray();
    FUZZ_CHECK(list ? it.value().isArray() && array.size() == list->size() : !array.isEmpty() || !it.value().isArray());
    if (!list) continue;
    const auto stored = parseSettingsObject(settingsFileBytes({{kHistoryKey, QJsonArray::fromStringList(*list)}}));
    FUZZ_CHECK(stored && stringListFrom(stored->value(kHistoryKey)) == list);
  }
}

// A tmpfs folder of this process's own, made at start.
QString folder;

std::optional<QByteArray> bytesOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? std::optional(file.readAll()) : std::nullopt;
}

void checkRealStore(const QByteArray& bytes) {
  const QString path = folder + "/defaults.json", aside = path + ".bad";
  // Removed by name: listing would slow every run, as a tmpfs lists the
  // name of every temporary file QSaveFile ever made there.
  for (const QString& name : {path, aside}) FUZZ_CHECK(!QFile::exists(name) || QFile::remove(name));
  {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
  }

  const std::optional<QJsonObject> parsed = parseSettingsObject(bytes);
  const bool damaged = !parsed || (parsed->contains(kHistoryKey) && !stringListFrom(parsed->value(kHistoryKey)));
  JsonSettingsStore store(path);
  const std::optional<QStringList> read = store.stringArray(kHistoryKey);
  // What the rest of the file must still hold after any read or write.
  QJsonObject others = parsed.value_or(QJsonObject());
  others.remove(kHistoryKey);
  const auto othersIn = [&](const QString& p) {
    std::optional<QJsonObject> object = parseSettingsObject(bytesOf(p).value_or(""));
    if (object) object->remove(kHistoryKey);
    return same(object, others);
  };
  if (damaged) {
    FUZZ_CHECK(!read && bytesOf(aside) == bytes);
    FUZZ_CHECK(parsed ? othersIn(path) : !QFile::exists(path));
  } else {
    FUZZ_CHECK(read == stringListFrom(parsed->value(kHistoryKey)) && !QFile::exists(aside));
    FUZZ_CHECK(bytesOf(path) == bytes);  // reading never rewrites a good file
  }

  // A history made of the input itself, lone surrogates included.
  QString utf16(bytes.size() / 2, Qt::Uninitialized);
  std::memcpy(utf16.data(), bytes.constData(), std::size_t(bytes.size() / 2 * 2));
  const QStringList next = {QString::fromUtf8(bytes), utf16, QStringLiteral("newest")};
  FUZZ_CHECK(store.trySetStringArray(kHistoryKey, next));
  FUZZ_CHECK(JsonSettingsStore(path).stringArray(kHistoryKey) == next && othersIn(path));
  FUZZ_CHECK(!damaged || bytesOf(aside) == bytes);
  FUZZ_CHECK(!QFile::exists(aside + ".1"));  // nothing else set aside
}

// FNV-1a: picks the file runs from the input alone.
std::uint32_t hashOf(const std::uint8_t* data, std::size_t size) {
  std::uint32_t h = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The store warns once per file set aside; millions of runs would drown the fuzzer's own output.
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  const QString base = QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
  // A finding ends a run without exit handlers and leaves its folder behind;
  // those of processes that are gone are removed here.
  for (const QString& name : QDir(base).entryList({"tuckshelf-fuzz-*"}, QDir::Dirs))
    if (::kill(name.mid(15).toInt(), 0) != 0 && errno == ESRCH) QDir(base + '/' + name).removeRecursively();
  folder = base + "/tuckshelf-fuzz-" + QString::number(::getpid());
  FUZZ_CHECK(QDir().mkpath(folder));
  std::atexit([] { QDir(folder).removeRecursively(); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  checkPureSteps(bytes);
  if (hashOf(data, size) % kFileRunShare == 0) checkRealStore(bytes);
  return 0;
}
