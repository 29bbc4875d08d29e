// Precompiled once per build for the tests with widgets.
#pragma once

#include "GuiPch.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
