L = L or {}
L["LOADED"] = "地圖增強 已載入"
L["TITLE"] = "地圖增強"
