// Precompiled once per build for the tests without widgets.
#pragma once

#include "CorePch.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
