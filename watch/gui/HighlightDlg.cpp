#include "HighlightDlg.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <optional>
#include <utility>

namespace {

QTableWidgetItem* CheckItem(bool checked)
{
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    return item;
}

// A colour cell shows its colour; an empty one (no background) says so.
QTableWidgetItem* ColourItem(std::optional<uint32_t> colour)
{
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (colour) {
        const QColor shown(static_cast<QRgb>(*colour));
        item->setData(Qt::UserRole, static_cast<uint>(*colour));
        item->setBackground(shown);
        item->setForeground(shown.lightness() > 128 ? Qt::black : Qt::white);
        item->setText(shown.name(QColor::HexRgb).toUpper());
    } else {
        item->setText(QStringLiteral("없음"));
    }
    return item;
}

std::optional<uint32_t> ColourOf(const QTableWidgetItem* item)
{
    const QVariant value = item ? item->data(Qt::UserRole) : QVariant();
    if (!value.isValid())
        return std::nullopt;
    return static_cast<uint32_t>(value.toUInt());
}

} // namespace

CHighlightDlg::CHighlightDlg(const std::vector<SHighlightRule>& rules, QWidget* parent)
    : QDialog(parent), m_table(new QTableWidget(0, kColumnCount, this))
{
    setWindowTitle(QStringLiteral("강조 규칙"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("패턴"), QStringLiteral("정규식"), QStringLiteral("대/소문자 구분"), QStringLiteral("글자색"),
         QStringLiteral("배경색")});
    m_table->horizontalHeader()->setSectionResizeMode(kPattern, QHeaderView::Stretch);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setWordWrap(false);
    _SetRules(rules);

    auto button = [this](const char* name, const QString& text, auto slot) {
        auto* pushButton = new QPushButton(text, this);
        pushButton->setObjectName(QLatin1String(name));
        connect(pushButton, &QPushButton::clicked, this, slot);
        return pushButton;
    };
    auto* side = new QVBoxLayout;
    side->addWidget(button("add", QStringLiteral("추가(&A)"), [this] {
        SHighlightRule white;
        white.foreground = 0xFFFFFF;
        _AddRow(white);
        m_table->setCurrentCell(m_table->rowCount() - 1, kPattern);
        m_table->editItem(m_table->item(m_table->rowCount() - 1, kPattern));
    }));
    side->addWidget(button("remove", QStringLiteral("삭제(&D)"), [this] {
        if (m_table->currentRow() >= 0)
            m_table->removeRow(m_table->currentRow());
    }));
    side->addWidget(button("up", QStringLiteral("위로(&U)"), [this] { _MoveCurrentRow(-1); }));
    side->addWidget(button("down", QStringLiteral("아래로(&O)"), [this] { _MoveCurrentRow(1); }));
    side->addWidget(button("noBackground", QStringLiteral("배경 없음(&N)"), &CHighlightDlg::_ClearBackground));
    side->addWidget(button("defaults", QStringLiteral("기본값(&R)"), [this] { _SetRules(CHighlightRules::Defaults()); }));
    side->addStretch(1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CHighlightDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CHighlightDlg::reject);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &CHighlightDlg::_PickColour);

    auto* row = new QHBoxLayout;
    row->addWidget(m_table, 1);
    row->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row, 1);
    layout->addWidget(buttons);
    resize(760, 340);
}

void CHighlightDlg::_SetRules(const std::vector<SHighlightRule>& rules)
{
    m_table->setRowCount(0);
    for (const SHighlightRule& rule : rules)
        _AddRow(rule);
}

void CHighlightDlg::_AddRow(const SHighlightRule& rule)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    m_table->setItem(row, kPattern, new QTableWidgetItem(QString::fromStdString(rule.pattern)));
    m_table->setItem(row, kRegularExpression, CheckItem(rule.regularExpression));
    m_table->setItem(row, kCaseSensitive, CheckItem(rule.caseSensitive));
    m_table->setItem(row, kForeground, ColourItem(rule.foreground));
    m_table->setItem(row, kBackground, ColourItem(rule.background));
}

std::vector<SHighlightRule> CHighlightDlg::Rules() const
{
    std::vector<SHighlightRule> rules;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const QString pattern = m_table->item(row, kPattern)->text();
        if (pattern.isEmpty())
            continue;
        rules.push_back({pattern.toStdString(), m_table->item(row, kRegularExpression)->checkState() == Qt::Checked,
                         m_table->item(row, kCaseSensitive)->checkState() == Qt::Checked,
                         ColourOf(m_table->item(row, kForeground)).value_or(0xFFFFFF),
                         ColourOf(m_table->item(row, kBackground))});
    }
    return rules;
}

QString CHighlightDlg::Problem() const
{
    const CHighlightRules rules(Rules());
    for (size_t index = 0; index < rules.Rules().size(); ++index)
        if (!rules.ErrorOf(index).empty())
            return QStringLiteral("잘못된 정규식 \"%1\": %2")
                .arg(QString::fromStdString(rules.Rules()[index].pattern), QString::fromStdString(rules.ErrorOf(index)));
    return QString();
}

void CHighlightDlg::accept()
{
    const QString problem = Problem();
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), problem);
        return;
    }
    QDialog::accept();
}

void CHighlightDlg::_MoveCurrentRow(int by)
{
    const int row = m_table->currentRow();
    const int target = row + by;
    if (row < 0 || target < 0 || target >= m_table->rowCount())
        return;
    for (int column = 0; column < kColumnCount; ++column) {
        QTableWidgetItem* moving = m_table->takeItem(row, column);
        m_table->setItem(row, column, m_table->takeItem(target, column));
        m_table->setItem(target, column, moving);
    }
    m_table->setCurrentCell(target, m_table->currentColumn());
}

void CHighlightDlg::_PickColour(int row, int column)
{
    if (column != kForeground && column != kBackground)
        return;
    const std::optional<uint32_t> now = ColourOf(m_table->item(row, column));
    const QColor chosen = QColorDialog::getColor(now ? QColor(static_cast<QRgb>(*now)) : QColor(Qt::black), this);
    if (chosen.isValid())
        m_table->setItem(row, column, ColourItem(chosen.rgb() & 0xFFFFFFu));
}

void CHighlightDlg::_ClearBackground()
{
    if (m_table->currentRow() >= 0)
        m_table->setItem(m_table->currentRow(), kBackground, ColourItem(std::nullopt));
}
