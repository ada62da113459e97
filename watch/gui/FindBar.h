#pragma once

// CFindBar: the find bar under the documents: the text to find, whether it
// is a regular expression and whether case matters, previous and next, and
// how many matches there are. Enter goes to the next match, Shift+Enter to
// the previous one, Escape closes the bar. Lives on the user-interface thread.
#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;

class CFindBar : public QWidget {
    Q_OBJECT
public:
    explicit CFindBar(QWidget* parent = nullptr);

    QString Pattern() const;
    bool IsRegularExpression() const;
    bool IsCaseSensitive() const;
    QLineEdit* Edit() const { return m_edit; }
    QString CountText() const;

    // Shows the text field with its text selected, ready for typing.
    void Activate();
    // "3/120", with a "+" and how much of the text was searched while the
    // search goes on (`searchedPercent` below 100); the expression's error
    // when it was refused.
    void ShowCount(size_t matches, std::optional<size_t> current, int searchedPercent, const QString& error);

signals:
    // The pattern or one of its options changed.
    void patternChanged();
    void nextRequested();
    void previousRequested();
    void closeRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* m_edit;
    QCheckBox* m_regularExpression;
    QCheckBox* m_caseSensitive;
    QLabel* m_count;
};
