#pragma once

int EngineSpeed();
