#pragma once
// A throwaway PostgreSQL cluster for the archive tests: initdb into a temporary folder, started
// with pg_ctl on a Unix socket in that folder (no TCP port), as the unprivileged "postgres" user
// when the tests run as root; stopped and removed at the end. Each test asks for a database of
// its own.

#include <unistd.h>
#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace tavrel::test {

class PgCluster {
  public:
    // Empty when it runs; else why not (no PostgreSQL installed, initdb or pg_ctl failed).
    QString start() {
        const QStringList versions =
            QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        if (versions.isEmpty()) return "no PostgreSQL under /usr/lib/postgresql";
        bin_ = QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(versions.last());
        if (!dir_.isValid()) return "no temporary folder";
        if (::geteuid() == 0) {
            // initdb refuses root: the cluster belongs to the package's own system user.
            if (run("chown", {"postgres", dir_.path()}) != 0)
                return "cannot give the folder to postgres";
        }
        const QString data = dir_.filePath("data");
        if (run(bin_ + "initdb",
                {"-D", data, "-A", "trust", "-U", "tavrel", "--no-sync", "-E", "UTF8"}, true) != 0)
            return QStringLiteral("initdb failed: ") + output_;
        if (run(bin_ + "pg_ctl",
                {"-D", data, "-w", "-l", dir_.filePath("log"), "-o",
                 QStringLiteral("-k %1 -c listen_addresses= -c fsync=off").arg(dir_.path()),
                 "start"},
                true) != 0)
            return QStringLiteral("pg_ctl start failed: ") + output_;
        running_ = true;
        return {};
    }
    ~PgCluster() {
        if (running_)
            run(bin_ + "pg_ctl", {"-D", dir_.filePath("data"), "-m", "immediate", "stop"}, true);
    }
    // A new, empty database; its archive address.
    QString freshDatabase() {
        const QString name = QStringLiteral("t%1").arg(++databases_);
        {
            QSqlDatabase admin = QSqlDatabase::addDatabase("QPSQL", name);
            admin.setHostName(dir_.path());
            admin.setUserName("tavrel");
            admin.setDatabaseName("postgres");
            if (admin.open()) QSqlQuery(admin).exec(QStringLiteral("CREATE DATABASE ") + name);
        }
        QSqlDatabase::removeDatabase(name);
        return QStringLiteral("postgresql://tavrel@/%1?host=%2").arg(name, dir_.path());
    }

    // Runs the SQL file (a pg_dump) into the database of `address` with psql; empty when it
    // ran, else psql's words.
    QString load(const QString& address, const QString& file) {
        const QString db = address.section(u'/', 3).section(u'?', 0, 0);
        if (run(bin_ + "psql", {"-q", "-v", "ON_ERROR_STOP=1", "-h", dir_.path(), "-U", "tavrel",
                                "-d", db, "-f", file}) != 0)
            return output_.isEmpty() ? QStringLiteral("psql failed") : output_;
        return {};
    }

  private:
    int run(const QString& program, QStringList args, bool asOwner = false) {
        QProcess p;
        p.setWorkingDirectory(QDir::tempPath());
        const bool owner = asOwner && ::geteuid() == 0;  // initdb refuses root
        p.start(owner ? "runuser" : program,
                owner ? QStringList{"-u", "postgres", "--", program} + args : args);
        if (!p.waitForFinished(60000)) return -1;
        output_ = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    QTemporaryDir dir_;
    QString bin_;
    QString output_;
    bool running_ = false;
    int databases_ = 0;
};

}  // namespace tavrel::test
