#pragma once

#include <QDialog>

#include "browse/file_filters.h"

class JobHost;
class OptionsModel;
class QLineEdit;
class QListWidget;
class QMenu;

// "Custom File Filter": the user's file types, saved when the dialog closes.
class CustomFilterDialog : public QDialog {
    Q_OBJECT

public:
    CustomFilterDialog(OptionsModel& options, JobHost& host, QWidget* parent = nullptr);

    QListWidget* list() const { return m_list; }
    QLineEdit* descriptionBox() const { return m_description; }
    QLineEdit* patternBox() const { return m_patterns; }
    QMenu* popupMenu() const { return m_popup; }
    const QList<FileFilter>& filters() const { return m_filters; }

    void add();
    void removeSelected();
    void moveUp();
    void moveDown();
    void reset();
    void done(int result) override;

private:
    void fill(const QList<FileFilter>& filters);
    void swap(int from, int to);

    OptionsModel& m_options;
    JobHost& m_host;
    QList<FileFilter> m_filters;
    QListWidget* m_list;
    QLineEdit* m_description;
    QLineEdit* m_patterns;
    QMenu* m_popup;
};
