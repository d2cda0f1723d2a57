#pragma once

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "app/DialogHandler.h"
#include "app/DialogLayout.h"
#include "app/DialogView.h"
#include "app/TrackPlot.h"
#include "app/WindowQueue.h"
#include "serial/PortEnumeration.h"

class QPushButton;
class QWidget;
class TrackViewWindow;

// The main window on Qt Widgets: the controls of the layout table, placed in dialog units of the
// window font, and DialogView over them. Every platform event goes to the DialogHandler.
class QuorvelWindow final : public QDialog, public DialogView {
    Q_OBJECT

  public:
    explicit QuorvelWindow(QWidget* pParent = nullptr);
    ~QuorvelWindow() override;

    void SetHandler(DialogHandler* pHandler) { m_pHandler = pHandler; }
    // Replaces the watch for serial ports that come and go; before Start().
    void SetDeviceWatch(std::unique_ptr<DeviceWatch> pWatch) { m_pDeviceWatch = std::move(pWatch); }
    // Whether device changes come from udev events rather than from polling; after Start().
    bool WatchesDeviceEvents() const { return m_bDeviceEvents; }
    // Initialises the window through the handler and shows it.
    void Start();
    // Start() and then the modal run until the window ends; returns the end code.
    int RunModal();

    // The widget of a control identifier; null for an unknown one.
    QWidget* Control(int nId) const { return m_controls.value(nId, nullptr); }
    // Pixels of a length in dialog units of the window font.
    QPoint DialogUnitsToPixels(int x, int y) const;

    // DialogView
    void ShowControl(int nId, bool bShow) override;
    void EnableControl(int nId, bool bEnable) override;
    void SetControlText(int nId, const std::string& strText) override;
    std::string GetControlText(int nId) const override;
    void SetCheck(int nId, bool bChecked) override;
    bool GetCheck(int nId) const override;
    void ResetList(int nId) override;
    int AddListEntry(int nId, const std::string& strText, int64_t nValue) override;
    void SelectListEntry(int nId, int nIndex) override;
    std::optional<int64_t> GetSelectedListValue(int nId) const override;
    int GetListCount(int nId) const override;
    void DeleteListEntry(int nId, int nIndex) override;
    void SetListEntryNote(int nId, int nIndex, const std::string& strNote) override;
    void SetProgressRange(int nId, uint32_t nLower, uint32_t nUpper) override;
    void SetProgressPosition(int nId, uint32_t nPosition) override;
    void SetPickerTime(int nId, const PickerTime& time) override;
    PickerTime GetPickerTime(int nId) const override;
    BoxAnswer ShowMessageBox(const std::string& strText, const std::string& strTitle,
                             BoxButtons buttons, BoxIcon icon) override;
    std::optional<FileDialogResult> ShowSaveDialog(const FileDialogRequest& request) override;
    std::optional<std::string> ShowOpenDialog(const FileDialogRequest& request) override;
    void ShowAboutBox() override;
    void ShowTrackView(const TrackViewData& data) override;
    void UpdateTrackView(const TrackViewData& data) override;
    void AppendWindowMenuCommand(const std::string& strText, unsigned nCommand) override;
    void SetWindowIcon(int nIconId) override;
    void CenterWindow() override;
    void EndDialog(int nResult) override;
    void PostWindowMessage(uint32_t nMessage, uint32_t wParam, uint32_t lParam) override;
    void PostTask(std::function<void()> task) override;

    // Every way of ending the window goes through the handler's close steps.
    void accept() override;
    void reject() override;

    // The track view once it has been opened; null before.
    TrackViewWindow* TrackView() const { return m_pTrackView; }

    // Where Geotag photos... finds the raw log loaded now (null when none is).
    void SetLoadedTrackSource(std::function<std::shared_ptr<const RawLogImage>()> source) {
        m_loadedTrack = std::move(source);
    }
    // Geotag photos... (its button, Ctrl+G): the dialog over the loaded track, opened or raised.
    // Nothing where the program has no geotagging or no file is loaded.
    void OpenGeotagDialog();
    // The dialog while it is open; null otherwise.
    QDialog* GeotagWindow() const { return m_pGeotag; }

  protected:
    void closeEvent(QCloseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dragMoveEvent(QDragMoveEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;

  private:
    void BuildControls();
    QWidget* MakeControl(const ControlLayout& c);
    QWidget* MakeCombo(const ControlLayout& c);
    QWidget* MakePicker(ControlKind kind);
    void PlaceControl(QWidget* pWidget, const ControlLayout& c);
    // Reports the user's edits of a control to the handler.
    void WatchChanges(QWidget* pWidget, int nId);
    void DispatchQueued();
    void StartDeviceWatch();
    void DeliverDeviceEvents(const std::vector<unsigned>& codes);
    std::optional<FileDialogResult> RunFileDialog(const FileDialogRequest& request, bool bSave);

    DialogHandler* m_pHandler = nullptr;
    QHash<int, QWidget*> m_controls;
    int m_nBaseUnitX = 1;  // average character width of the window font, pixels
    int m_nBaseUnitY = 1;  // character height, pixels
    bool m_bEnding = false;
    WindowQueue m_queue;
    std::unique_ptr<DeviceWatch> m_pDeviceWatch;
    bool m_bDeviceEvents = false;
    TrackViewWindow* m_pTrackView = nullptr;
    // Geotagging: its button, its dialog, and the photos it placed on which track; the track view
    // shows them while it shows that track.
    void ShowPhotoPins(std::shared_ptr<const RawLogImage> pTrack, std::vector<PhotoPin> pins);
    void ShowPinsInTrackView();
    QPushButton* m_pGeotagButton = nullptr;
    QPointer<QDialog> m_pGeotag;
    std::function<std::shared_ptr<const RawLogImage>()> m_loadedTrack;
    std::shared_ptr<const RawLogImage> m_pPinnedTrack;
    std::vector<PhotoPin> m_photoPins;
    std::shared_ptr<const RawLogImage> m_pShownTrack;  // what the track view was given last
};
