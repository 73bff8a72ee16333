#pragma once
// The audit trail in the viewer, for users with the right to change the configuration: every
// record, newest last, and whether the chain is whole (or the first record that is not).

#include <QDialog>
#include <string>

class QLabel;
class QTableWidget;

namespace kel {

class AuditView : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Dziennik zdarzeń";

    // Reads the trail at `trailFile` (never made here).
    explicit AuditView(const std::string& trailFile, QWidget* parent = nullptr);

    QTableWidget* Table() const { return table_; }
    QString CheckText() const;

private:
    QTableWidget* table_;
    QLabel* check_;
};

}  // namespace kel
