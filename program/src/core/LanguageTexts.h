#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

enum class Language { Polish, English };

// The program's run-time texts, looked up by key in the language in force.
// Keys match regardless of letter case.
class LanguageTexts {
public:
    explicit LanguageTexts(Language language = Language::Polish) : language_(language) {}

    Language language() const { return language_; }
    void setLanguage(Language language) { language_ = language; }

    // Empty for a key that is not in the table.
    QString text(QStringView key) const;
    QString text(QLatin1String key) const { return text(QString(key)); }

    // The 47 keys in their fixed order (split from one "#"-separated text).
    static const QStringList& keys();
    // -1 for a key outside the 47, added ones included.
    static int indexOfKey(QStringView key);
    // The keys added after the 47, which text() finds as well.
    static QStringList addedKeys();
    static QString text(Language language, QStringView key);

    // The stored choice: only "ENG" (exact case) selects English.
    static Language fromStoredName(const QString& stored);
    static QString storedName(Language language);

private:
    Language language_;
};
