#pragma once

// CHighlightDlg: the editor of the highlight rules: a table of rules, each a
// pattern, whether it is a regular expression, whether case matters, and
// the colours of a matching line; rules can be added, removed, moved up and
// down (the first rule that matches a line gives its colours) and reset to
// the defaults. A double click on a colour picks another one. OK refuses
// an expression that does not compile, naming it; rows left without a
// pattern are dropped. Lives on the user-interface thread.
#include "HighlightRules.h"

#include <QDialog>

#include <vector>

class QTableWidget;

class CHighlightDlg : public QDialog {
    Q_OBJECT
public:
    CHighlightDlg(const std::vector<SHighlightRule>& rules, QWidget* parent = nullptr);

    // The rules as the table holds them.
    std::vector<SHighlightRule> Rules() const;
    QTableWidget* Table() const { return m_table; }
    // Why the rules cannot be taken; empty when they can.
    QString Problem() const;

    void accept() override;

private:
    enum EColumn { kPattern, kRegularExpression, kCaseSensitive, kForeground, kBackground, kColumnCount };

    void _SetRules(const std::vector<SHighlightRule>& rules);
    void _AddRow(const SHighlightRule& rule);
    void _MoveCurrentRow(int by);
    void _PickColour(int row, int column);
    void _ClearBackground();

    QTableWidget* m_table;
};
