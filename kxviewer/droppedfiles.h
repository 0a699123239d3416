// The files a drop of URLs stands for: local files as they are, local
// folders replaced by every file beneath them. Symbolic links to folders are
// not entered, so a link loop ends.
#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

struct DroppedFiles {
    // The files, dropped files first and then each folder's, in drop order.
    QStringList files;
    // The URLs that are not local files, as dropped.
    QStringList notLocal;
    // Folders that could not be read.
    QStringList unreadable;
    // Files whose names do not survive decoding in the local code page, so
    // that no QString opens them; shown with their bad bytes as \xNN.
    QStringList undecodable;
};

DroppedFiles CollectDroppedFiles(const QList<QUrl>& urls);
