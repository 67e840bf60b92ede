#include "ReadEndMessages.h"

#include <QMessageBox>

#include "LanguageTexts.h"
#include "ReadOutcome.h"

namespace ReadEndMessages {

namespace {

void show(QWidget* parent, const char* objectName, QMessageBox::Icon icon, const QString& title,
          const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setObjectName(QLatin1String(objectName));
    box.exec();
}

}  // namespace

void showOutcome(QWidget* parent, const ReadOutcome& outcome, const LanguageTexts& texts,
                 const QLocale& locale) {
    show(parent, "ReadOutcomeMessage", QMessageBox::Warning, texts.text(u"readIncomplete"),
         outcome.describe(texts, locale));
}

QString describeConnection(const ConnectionChoice& choice, const LanguageTexts& texts) {
    const auto item = [](const QString& label, const QString& value) {
        return label + u' ' + value;
    };
    QStringList items;
    switch (choice.kind) {
        case ConnectionChoice::Kind::Com:
        case ConnectionChoice::Kind::Usb:
            items << item(QStringLiteral("Port"), choice.kind == ConnectionChoice::Kind::Com
                                                      ? choice.comPort
                                                      : choice.usbDevice)
                  << item(texts.text(u"baudrate"), choice.baudRate)
                  << item(texts.text(u"bits"), choice.bits)
                  << item(texts.text(u"parity"), choice.parity);
            break;
        case ConnectionChoice::Kind::Ethernet:
            items << item(texts.text(u"ipAdrr"), choice.ip)
                  << item(QStringLiteral("Port"), choice.port);
            break;
        case ConnectionChoice::Kind::None:
            break;
    }
    return items.join(QStringLiteral(", "));
}

void showNoAnswer(QWidget* parent, const ConnectionChoice& choice, const ReadOutcome* outcome,
                  const LanguageTexts& texts, const QLocale& locale) {
    QString text = texts.text(u"noAnswerHint").arg(describeConnection(choice, texts));
    if (outcome != nullptr && outcome->received > 0) {
        text += QStringLiteral("\n\n") + outcome->describe(texts, locale);
    }
    show(parent, "NoAnswerMessage", QMessageBox::Warning, texts.text(u"error"), text);
}

}  // namespace ReadEndMessages
