#include "platform/settings/qt_settings_store.h"

#include <QSettings>

namespace zelt {

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

std::string QtSettingsStore::read(const std::string& app, const std::string& section, const std::string& key,
                                  const std::string& fallback) {
    // A missing, unreadable or corrupt file reads as "nothing stored": the caller gets the
    // fallback and start-up goes on.
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, qs(app));
    if (settings.status() != QSettings::NoError) return fallback;
    const QVariant value = settings.value(qs(section) + "/" + qs(key));
    if (!value.isValid() || !value.canConvert<QString>()) return fallback;
    return value.toString().toStdString();
}

bool QtSettingsStore::write(const std::string& app, const std::string& section, const std::string& key,
                            const std::string& text) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, qs(app));
    if (!settings.isWritable()) return false;
    settings.setValue(qs(section) + "/" + qs(key), qs(text));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace zelt
