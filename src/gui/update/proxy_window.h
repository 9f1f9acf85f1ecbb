#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace vestrum {

// "Ustawienia serwera proxy": reached only through a hidden menu entry. The values are neither stored
// nor used; every download goes through the system's own proxy configuration.
class ProxyWindow : public QDialog {
public:
    explicit ProxyWindow(QWidget* parent = nullptr);

    QLineEdit* addressField() const { return address_; }
    QLineEdit* portField() const { return port_; }
    QLineEdit* userField() const { return user_; }
    QLineEdit* passwordField() const { return password_; }
    QCheckBox* authentication() const { return authentication_; }
    QCheckBox* useProxy() const { return useProxy_; }

private:
    void updateFields();

    QLineEdit* address_;
    QLineEdit* port_;
    QCheckBox* authentication_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* useProxy_;
};

} // namespace vestrum
