// Table trigonometry.
#pragma once

void initTrigTables();
