#pragma once

// The "Files" tab: binds its controls to CPageFiles; the tree widget shows
// the page's file list and hands its check marks back before each action.
#include <PageFiles.h>

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class CPageFilesView : public QWidget {
    Q_OBJECT
public:
    explicit CPageFilesView(QWidget* parent = nullptr);
    CPageFiles& Page() { return m_page; }
    QTreeWidget* ListBox() { return m_pList; }
    QCheckBox* SelectAllBox() { return m_pSelectAll; }

    void OnChooseFolder();
    void OnSearch();
    void OnSort();
    void OnSelectAll();
    void OnSaveSelected();
    void OnUndoSave();
    void OnAddText();
    void OnRemoveText();
    void OnClearNames();
    void OnChangeExtension();
    void OnAppendNumbers();
    void OnPadNumbers();
    void OnCharsetCheck();
    void OnCharsetChange();

private:
    QWidget* _MakeButtons();
    void _ReadFields();
    void _ShowFields();
    void _ShowList();

    CPageFiles m_page;
    QTreeWidget* m_pList;
    QLineEdit* m_pFolder;
    QComboBox* m_pExtensions;
    QCheckBox* m_pSubFolders;
    QCheckBox* m_pHidden;
    QComboBox* m_pSortOrder;
    QCheckBox* m_pSelectAll;
    QPushButton* m_pUndo;
};
