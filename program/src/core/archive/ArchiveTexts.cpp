#include "ArchiveTexts.h"

namespace {

const char* problemKey(ArchiveProblem::Kind kind) {
    using Kind = ArchiveProblem::Kind;
    switch (kind) {
        case Kind::Settings:
            return "problemSettings";
        case Kind::NoDriver:
            return "problemNoDriver";
        case Kind::CannotOpen:
            return "problemCannotOpen";
        case Kind::Locked:
            return "problemLocked";
        case Kind::Damaged:
            return "problemDamaged";
        case Kind::NewerVersion:
            return "problemNewerVersion";
        case Kind::Failed:
            return "problemFailed";
        case Kind::Cancelled:
            return "problemCancelled";
        case Kind::NotOpen:
            return "problemNotOpen";
        case Kind::None:
            break;
    }
    return "";
}

}  // namespace

QString ArchiveTexts::text(Language language, QStringView key) {
    return LanguageTexts::text(language, QStringLiteral("archive.") + key.toString());
}

QString ArchiveTexts::text(Language language, const char* key) {
    return text(language, QString::fromLatin1(key));
}

QString ArchiveTexts::problem(Language language, ArchiveProblem::Kind kind) {
    return text(language, problemKey(kind));
}

QString ArchiveTexts::notice(Language language, const ArchiveNotice& notice,
                             const QLocale& locale) {
    using Kind = ArchiveNotice::Kind;
    auto t = [language](const char* key) { return text(language, key); };
    auto number = [&locale](qint64 value) { return locale.toString(value); };
    const QString why = problem(language, notice.problem.kind);
    switch (notice.kind) {
        case Kind::Opening:
            return t("noticeOpening");
        case Kind::Ready:
            return t("noticeReady").arg(notice.location);
        case Kind::Unavailable:
            return t("noticeUnavailable").arg(why);
        case Kind::Incremental:
            return t("noticeIncremental").arg(number(notice.fresh), number(notice.fromArchive));
        case Kind::FullArchived:
            return t("noticeFullArchived").arg(number(notice.fresh));
        case Kind::Fallback:
            return t("noticeFallback");
        case Kind::OlderMissing:
            return t("noticeOlderMissing");
        case Kind::NotArchived:
            return t("noticeNotArchived").arg(why);
        case Kind::PartArchived:
            return t("noticePartArchived").arg(number(notice.fresh));
        case Kind::NoAnswer:
            return t("noticeNoAnswer");
        case Kind::Browsing:
            return t("noticeBrowsing")
                .arg(t("scaleItem").arg(notice.scale).arg(notice.serialNumber),
                     number(notice.count));
        case Kind::BrowseFailed:
            return t("noticeBrowseFailed").arg(why);
    }
    return {};
}
