// An IPv4 address control: four fields of 0 to 255 between dots, each of which may be left blank.
// Typing a third digit or a dot moves to the next field; Backspace in an empty field goes back.
#pragma once

#include <QFrame>

#include <array>
#include <cstdint>

class QLineEdit;

class CIPAddressCtrl : public QFrame {
    Q_OBJECT
public:
    explicit CIPAddressCtrl(QWidget* parent = nullptr);

    // True when all four fields are blank.
    bool IsBlank() const;
    // The address in host byte order, a blank field counting as 0; the number of filled fields.
    int GetAddress(uint32_t& address) const;
    void SetAddress(uint32_t address);
    void ClearAddress();
    QLineEdit* Field(int i) const { return m_fields[static_cast<size_t>(i)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int IndexOf(QObject* field) const;
    void FocusField(int i, bool atStart);

    std::array<QLineEdit*, 4> m_fields{};
};
