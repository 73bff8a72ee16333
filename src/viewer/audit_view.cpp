#include "viewer/audit_view.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "platform/audit_trail.h"

namespace kel {

AuditView::AuditView(const std::string& trailFile, QWidget* parent)
    : QDialog(parent), table_(new QTableWidget(this)), check_(new QLabel(this)) {
    setWindowTitle(QString::fromUtf8(kTitle));
    resize(900, 500);
    table_->setObjectName("Records");
    table_->setColumnCount(5);
    table_->setHorizontalHeaderLabels({"Nr", "Czas", "Użytkownik", "Zdarzenie", "Szczegóły"});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    check_->setObjectName("Check");
    std::error_code ec;
    AuditTrail trail(trailFile);
    if (!std::filesystem::is_regular_file(trailFile, ec) || !trail.Open()) {
        check_->setText("Brak dziennika zdarzeń: " + QString::fromStdString(trailFile));
    } else {
        const std::vector<AuditRecord> records = trail.Read();
        table_->setRowCount(static_cast<int>(records.size()));
        for (int row = 0; row < static_cast<int>(records.size()); ++row) {
            const AuditRecord& r = records[row];
            const QString cells[] = {QString::number(r.id), QString::fromStdString(r.at),
                                     r.who.empty() ? QStringLiteral("-") : QString::fromStdString(r.who),
                                     QString::fromStdString(r.what), QString::fromStdString(r.detail)};
            for (int column = 0; column < 5; ++column)
                table_->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
        table_->resizeColumnsToContents();
        table_->scrollToBottom();
        const AuditTrail::Check check = trail.Verify();
        check_->setText(check.whole ? QString("Dziennik nienaruszony: %1 zdarzeń").arg(check.records)
                                    : "Dziennik naruszony: " + QString::fromStdString(check.why));
        if (!check.whole)
            check_->setStyleSheet("color: #c03030; font-weight: bold");
    }
    auto* close = new QPushButton(QStringLiteral("Zamknij"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addWidget(check_);
    layout->addWidget(close, 0, Qt::AlignRight);
}

QString AuditView::CheckText() const {
    return check_->text();
}

}  // namespace kel
