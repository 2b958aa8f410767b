#pragma once

// TdlgCookies: "Cookies" of the task editor. Lists the cookies a task keeps for
// its site (name, domain, path, expiry; a value is a secret and never shown),
// imports a Netscape cookies.txt file as wget, curl and browser extensions write
// it, and deletes one cookie or all. It edits the jar it is given: the task
// editor hands it a working copy and writes that to the task's cookie file only
// when the editor is confirmed with OK.

#include <QDialog>

#include <cstdint>

class QPushButton;
class QTreeWidget;

namespace hx
{

class THXCookieJar;

class TdlgCookies final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TdlgCookies)

public:
    TdlgCookies(QWidget* parent, THXCookieJar& jar);

    // Columns of the list.
    enum TColumn
    {
        kColumnName,
        kColumnDomain,
        kColumnPath,
        kColumnExpires,
    };

    // Merges the cookies of a cookies.txt file into the jar. False with a message
    // naming the file and what is wrong when it cannot be read or holds no cookie.
    bool ImportFile(const QString& path, QString& error);

    QTreeWidget* lvCookies = nullptr;
    QPushButton* btnImport = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnDeleteAll = nullptr;
    QPushButton* btnClose = nullptr;

private:
    void FillList();
    void UpdateButtons();
    void ImportClick();
    void DeleteClick();
    void DeleteAllClick();

    THXCookieJar& m_jar;
};

// The expiry column's text: "Session" for a cookie kept only while a session
// lasts, else the local date and time it expires (year first).
QString CookieExpiryText(std::int64_t expires);

} // namespace hx
