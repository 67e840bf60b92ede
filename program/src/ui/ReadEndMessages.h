#pragma once

#include <QString>

#include "TSettingsPanel.h"

class QWidget;
struct ReadOutcome;
class LanguageTexts;
class QLocale;

// The messages that end a read which did not go as it should, in the
// language in force. Each is a modal box with an object name of its own, so
// that the operator cannot miss it and tests can find it.
namespace ReadEndMessages {

// Records announced, received and unreadable, and which could not be read.
void showOutcome(QWidget* parent, const ReadOutcome& outcome, const LanguageTexts& texts,
                 const QLocale& locale);

// The line settings of a read, as the settings panel names them.
QString describeConnection(const ConnectionChoice& choice, const LanguageTexts& texts);

// The scale did not answer: what to check, the settings that were used and,
// when some records came before the silence, what the read brought.
void showNoAnswer(QWidget* parent, const ConnectionChoice& choice, const ReadOutcome* outcome,
                  const LanguageTexts& texts, const QLocale& locale);

}  // namespace ReadEndMessages
