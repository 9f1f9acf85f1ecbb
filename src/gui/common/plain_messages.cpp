#include "gui/common/plain_messages.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

namespace vestrum {

MessageResponse PlainMessages::present(const MessageRequest& request)
{
    QMessageBox box(parent_);
    box.setWindowTitle(QStringLiteral("Vestrum"));
    box.setText(request.text);
    QAbstractButton* left = nullptr;
    QAbstractButton* right = nullptr;
    if (request.buttons & MbYes)
        left = box.addButton(QStringLiteral("Tak"), QMessageBox::YesRole);
    else if (request.buttons & MbOk && !(request.buttons & MbNo))
        left = box.addButton(QStringLiteral("Dalej"), QMessageBox::AcceptRole);
    if (request.buttons & MbNo)
        right = box.addButton(QStringLiteral("Nie"), QMessageBox::NoRole);
    else if (request.buttons & MbCancel && !(request.buttons & MbYes))
        right = box.addButton(QStringLiteral("Wróć"), QMessageBox::RejectRole);
    QCheckBox* silence = nullptr;
    if (request.number > 0) {
        silence = new QCheckBox(QStringLiteral("nie pokazuj więcej tego komunikatu"), &box);
        box.setCheckBox(silence);
    }
    box.exec();
    MessageResponse response;
    if (box.clickedButton() != nullptr && box.clickedButton() == left)
        response.answer = MessageAnswer::Yes;
    else if (box.clickedButton() != nullptr && box.clickedButton() == right)
        response.answer = MessageAnswer::No;
    response.dontShowAgain = silence != nullptr && silence->isChecked();
    return response;
}

} // namespace vestrum
