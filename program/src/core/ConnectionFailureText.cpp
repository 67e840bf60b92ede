#include "ConnectionFailureText.h"

#include <QRegularExpression>
#include <iterator>

#include "LibraryText.h"

namespace {

struct ReasonKeys {
    const char* code;
    const char16_t* why;
    const char16_t* hint;  // null: no hint helps
};

// A code the program does not know yet reads as "other".
constexpr ReasonKeys kReasons[] = {
    {"not-found", u"connWhyNotFound", u"connHintNotFound"},
    {"permission", u"connWhyPermission", u"connHintPermission"},
    {"busy", u"connWhyBusy", u"connHintBusy"},
    {"unreachable", u"connWhyUnreachable", u"connHintUnreachable"},
    {"refused", u"connWhyRefused", u"connHintRefused"},
    {"timeout", u"connWhyTimeout", u"connHintUnreachable"},
    {"no-library", u"connWhyNoLibrary", u"connHintNoLibrary"},
    {"invalid", u"connWhyInvalid", nullptr},
    {"closed", u"connWhyClosed", nullptr},
    {"io", u"connWhyIo", nullptr},
    {"other", u"connWhyOther", nullptr},
};

const ReasonKeys& reasonOf(const QString& code) {
    for (const ReasonKeys& reason : kReasons) {
        if (code == QLatin1String(reason.code)) {
            return reason;
        }
    }
    return kReasons[std::size(kReasons) - 1];
}

QString why(const ConnectionFailure& failure, const ReasonKeys& reason,
            const LanguageTexts& texts) {
    if (failure.code == QLatin1String("busy") && !failure.holderPid.isEmpty()) {
        return texts.text(u"connWhyBusyPid").arg(failure.subject, failure.holderPid);
    }
    // "Invalid" settings have no one subject: the whole detail says what.
    const QString& named =
        failure.code == QLatin1String("invalid") ? failure.detail : failure.subject;
    return texts.text(QStringView(reason.why)).arg(named);
}

}  // namespace

ConnectionFailure ConnectionFailure::fromLibraryAnswer(const char* answer) {
    ConnectionFailure failure;
    const QString text = fromLibraryText(answer);
    const qsizetype codeEnd = text.indexOf(QLatin1String(": "));
    if (text.isEmpty()) {
        return failure;
    }
    if (codeEnd < 0) {
        failure.code = QStringLiteral("other");
        failure.detail = text;
        failure.subject = text;
        return failure;
    }
    failure.code = text.left(codeEnd);
    failure.detail = text.mid(codeEnd + 2);
    const qsizetype subjectEnd = failure.detail.indexOf(QLatin1String(": "));
    failure.subject = subjectEnd < 0 ? failure.detail : failure.detail.left(subjectEnd);
    static const QRegularExpression holder(QStringLiteral("\\(process (\\d+)\\)$"));
    const QRegularExpressionMatch match = holder.match(failure.detail);
    if (failure.code == QLatin1String("busy") && match.hasMatch()) {
        failure.holderPid = match.captured(1);
    }
    return failure;
}

QString ConnectionFailure::libraryLine() const {
    return isEmpty() ? QString() : code + QLatin1String(": ") + detail;
}

QString ConnectionFailureText(const ConnectionFailure& failure, const LanguageTexts& texts) {
    if (failure.isEmpty()) {
        return {};
    }
    const ReasonKeys& reason = reasonOf(failure.code);
    QString text = why(failure, reason, texts);
    if (reason.hint != nullptr) {
        text += QLatin1Char('\n') + texts.text(QStringView(reason.hint));
    }
    return text + QLatin1String("\n\n") + failure.libraryLine();
}
