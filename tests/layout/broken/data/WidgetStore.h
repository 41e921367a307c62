#pragma once

// A store with a widget: the include-rule test must fail on this folder.
#include <QWidget>
