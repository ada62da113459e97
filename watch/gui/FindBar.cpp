#include "FindBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

CFindBar::CFindBar(QWidget* parent)
    : QWidget(parent),
      m_edit(new QLineEdit(this)),
      m_regularExpression(new QCheckBox(QStringLiteral("정규식(&R)"), this)),
      m_caseSensitive(new QCheckBox(QStringLiteral("대/소문자 구분(&C)"), this)),
      m_count(new QLabel(this))
{
    m_edit->setPlaceholderText(QStringLiteral("찾을 내용"));
    m_edit->setClearButtonEnabled(true);
    auto* previous = new QToolButton(this);
    previous->setText(QStringLiteral("이전"));
    previous->setToolTip(QStringLiteral("이전 찾기 (Shift+F3)"));
    auto* next = new QToolButton(this);
    next->setText(QStringLiteral("다음"));
    next->setToolTip(QStringLiteral("다음 찾기 (F3)"));
    auto* close = new QToolButton(this);
    close->setText(QStringLiteral("닫기"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(new QLabel(QStringLiteral("찾기:"), this));
    layout->addWidget(m_edit, 1);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(m_regularExpression);
    layout->addWidget(m_caseSensitive);
    layout->addWidget(m_count);
    layout->addWidget(close);

    connect(m_edit, &QLineEdit::textChanged, this, &CFindBar::patternChanged);
    connect(m_regularExpression, &QCheckBox::toggled, this, &CFindBar::patternChanged);
    connect(m_caseSensitive, &QCheckBox::toggled, this, &CFindBar::patternChanged);
    connect(previous, &QToolButton::clicked, this, &CFindBar::previousRequested);
    connect(next, &QToolButton::clicked, this, &CFindBar::nextRequested);
    connect(close, &QToolButton::clicked, this, &CFindBar::closeRequested);
}

QString CFindBar::Pattern() const { return m_edit->text(); }
bool CFindBar::IsRegularExpression() const { return m_regularExpression->isChecked(); }
bool CFindBar::IsCaseSensitive() const { return m_caseSensitive->isChecked(); }
QString CFindBar::CountText() const { return m_count->text(); }

void CFindBar::Activate()
{
    m_edit->setFocus(Qt::ShortcutFocusReason);
    m_edit->selectAll();
}

void CFindBar::ShowCount(size_t matches, std::optional<size_t> current, int searchedPercent, const QString& error)
{
    if (!error.isEmpty()) {
        m_count->setText(QStringLiteral("잘못된 정규식: %1").arg(error));
        return;
    }
    if (Pattern().isEmpty()) {
        m_count->clear();
        return;
    }
    const bool done = searchedPercent >= 100;
    const QString more = done ? QString() : QStringLiteral("+");
    QString text;
    if (matches == 0 && done)
        text = QStringLiteral("찾을 수 없음");
    else if (current)
        text = QStringLiteral("%L1/%L2%3").arg(*current + 1).arg(matches).arg(more);
    else
        text = QStringLiteral("%L1%2개").arg(matches).arg(more);
    if (!done)
        text += QStringLiteral(" (검색 중 %1%)").arg(searchedPercent);
    m_count->setText(text);
}

void CFindBar::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers().testFlag(Qt::ShiftModifier))
            emit previousRequested();
        else
            emit nextRequested();
        break;
    case Qt::Key_Escape:
        emit closeRequested();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}
