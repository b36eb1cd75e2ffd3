#pragma once
// The single document. It carries no data: movies and play lists live in the panels.

#include <QObject>

namespace kz {

class CKZPlayerDoc : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
};

} // namespace kz
