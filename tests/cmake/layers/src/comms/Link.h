#pragma once

int LinkSpeed();
