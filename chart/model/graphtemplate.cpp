#include "chart/model/graphtemplate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kv {

namespace {

const QString TemplateFile = QStringLiteral("template/graph.ghf");

} // namespace

QString UserGraphTemplatePath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(TemplateFile);
}

QString ShippedGraphTemplatePath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(TemplateFile);
}

QString GraphTemplateToRead()
{
    for (const QString &path : {UserGraphTemplatePath(), ShippedGraphTemplatePath()})
        if (QFileInfo(path).isFile())
            return path;
    return {};
}

} // namespace kv
