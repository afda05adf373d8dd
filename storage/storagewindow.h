#pragma once

#include "core/appdir.h"
#include "storage/storageconfig.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace storage {

// The window's controls, named as the keys of storage.cfg they edit.
struct StorageControls
{
    QLineEdit* SyncSeconds = nullptr;
    QLineEdit* SyncBelowVolts = nullptr; // empty: the default level
    QLabel* Cost = nullptr;              // what the period shown costs and risks, in one line
    QPushButton* Save = nullptr;
    QPushButton* Cancel = nullptr;
};

// The window "Storage", shown modally by the main window: the values of storage.cfg. "Save"
// checks them, writes the file and closes; "Cancel" or closing writes nothing.
class Storage : public QDialog
{
    Q_OBJECT
public:
    explicit Storage(const core::AppDir& app, QWidget* parent = nullptr);

    const StorageControls& controls() const { return m_controls; }

private:
    void Form_Load();
    void Save_Click();
    void showCost();

    core::AppDir m_app;
    StorageControls m_controls;
};

} // namespace storage
