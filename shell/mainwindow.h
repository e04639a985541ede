#pragma once

#include <QMainWindow>

#include <memory>

namespace mk {

struct GlobalState;
class TStorage;

// The main window. It opens the current database when it is built, and its
// destructor writes the window's and the user's settings.
class TForm3 : public QMainWindow
{
    Q_OBJECT

public:
    explicit TForm3(GlobalState& g, QWidget* parent = nullptr);
    ~TForm3() override;

    // False when the database could not be opened; the window then closes itself.
    bool databaseOpen() const { return m_databaseOpen; }

    // The caption: the product title, then " [Read Only Mode]" while editing is barred.
    QString captionText() const;

    TStorage& storage() { return *m_storage; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormActivateFirst();
    void readWindowPlacement();
    void writeWindowPlacement() const;

    bool openDatabase();

    GlobalState& m_g;
    std::unique_ptr<TStorage> m_storage;
    bool m_databaseOpen = false;
    bool m_activated = false;
};

} // namespace mk
