#pragma once

#include <optional>

#include <QString>
#include <QStringList>

namespace tuckshelf {

// The per-user key-value store that keeps the history's texts.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The array of strings under `key`, or none when it is absent or is not
  // an array of strings.
  virtual std::optional<QStringList> stringArray(const QString& key) = 0;
  // Replaces the value under `key`; other keys are kept.
  virtual void setStringArray(const QString& key, const QStringList& value) = 0;
};

}  // namespace tuckshelf
