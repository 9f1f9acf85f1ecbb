#include "gui/update/proxy_window.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestrum {
namespace {

// A field the user cannot change shows the page background; one open for typing is white.
void setFieldEnabled(QLineEdit* field, bool enabled)
{
    field->setEnabled(enabled);
    QPalette palette = field->palette();
    const QColor background = enabled ? QColor(Qt::white) : QColor(244, 244, 234);
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Disabled, QPalette::Base, background);
    field->setPalette(palette);
}

} // namespace

ProxyWindow::ProxyWindow(QWidget* parent)
    : QDialog(parent)
    , address_(new QLineEdit(this))
    , port_(new QLineEdit(this))
    , authentication_(new QCheckBox(QStringLiteral("Uwierzytelnianie"), this))
    , user_(new QLineEdit(this))
    , password_(new QLineEdit(this))
    , useProxy_(new QCheckBox(QString::fromUtf8("Połączenie do sieci przez proxy"), this))
{
    setObjectName(QStringLiteral("ProxyWindow"));
    setWindowTitle(QStringLiteral("Ustawienia serwera proxy"));
    port_->setValidator(new QIntValidator(0, 65535, port_));
    password_->setEchoMode(QLineEdit::Password);
    password_->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Adres serwera:"), address_);
    form->addRow(QStringLiteral("Port:"), port_);
    form->addRow(authentication_);
    form->addRow(QString::fromUtf8("Użytkownik:"), user_);
    form->addRow(QString::fromUtf8("Hasło:"), password_);
    form->addRow(useProxy_);

    auto* apply = new QPushButton(QStringLiteral("zastosuj"), this);
    auto* back = new QPushButton(QString::fromUtf8("wróć"), this);
    connect(apply, &QPushButton::clicked, this, &QDialog::accept);
    connect(back, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(apply);
    buttons->addWidget(back);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(authentication_, &QCheckBox::toggled, this, &ProxyWindow::updateFields);
    connect(useProxy_, &QCheckBox::toggled, this, &ProxyWindow::updateFields);
    updateFields();
    resize(380, sizeHint().height());
}

void ProxyWindow::updateFields()
{
    const bool proxy = useProxy_->isChecked();
    const bool login = proxy && authentication_->isChecked();
    setFieldEnabled(address_, proxy);
    setFieldEnabled(port_, proxy);
    setFieldEnabled(user_, login);
    setFieldEnabled(password_, login);
}

} // namespace vestrum
