# Shared by the end-to-end runner, tools/demo and tools/screenshots: the Wine
# environment, the layout of a prefix, and the registration of the product.
# Source it; it defines variables and functions only.

# Quiet, reproducible Wine: a 32-bit prefix, no Mono or Gecko installers, no
# debug channels, and a fixed locale so that the ANSI code page is 1252.
velmora_wine_env() {
    export WINEPREFIX="$1"
    export WINEARCH=win32
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export LC_ALL=C.UTF-8
    # The stand-in un-installer records into this directory.
    export VELMORA_STANDIN_DIR='C:\velmora-e2e\records'
}

# Where things live inside the prefix, as Windows and as host paths.
velmora_layout() {
    drive_c="$WINEPREFIX/drive_c"
    product_dir="$drive_c/Program Files/Velmora 2000"
    undo_dir="$product_dir/Undo"
    e2e_dir="$drive_c/velmora-e2e"
    bin_dir="$e2e_dir/bin"
    records_dir="$e2e_dir/records"
    start_dir="$e2e_dir/start"
    win_product_dir='C:\Program Files\Velmora 2000'
    win_helper="$win_product_dir"'\VelmoraUninstall.exe'
    win_uninstaller="$win_product_dir"'\Uninstall.exe'
    win_undo_dir="$win_product_dir"'\Undo'
    win_e2e_dir='C:\velmora-e2e'
    win_bin_dir="$win_e2e_dir"'\bin'
    win_start_dir="$win_e2e_dir"'\start'
}

# Makes a fresh prefix in which message boxes exist without a display, unless
# GRAPHICS says otherwise ("x11" for real drawing).
velmora_make_prefix() {
    local graphics="${1:-null}"
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$graphics" /f >/dev/null
    wineserver -w
}

# The product's registry entries, every key that the helper deletes, in the
# hive where Wine keeps them: HKEY_CLASSES_ROOT lands in HKLM\Software\Classes.
velmora_extensions=(.plugin .equalizer .generic_noise .noise .ssp .treatment .room .choir .r2000 .ezcompression
                    .VRT .presence .tremolo .graphical_compressor .qreverb .hiqchorus .samplerate .3d-filter
                    .FileFormat .spectrum)
velmora_progids=(aaa_program aaa_program3 aaa_program4 aaa_program5 aaa_program6 aaa_program7 aaa_program8
                 aaa_program9 aaa_program10 aaa_program11 aaa_program12 aaa_program13 aaa_program14
                 aaa_program15 aaa_program16 aaa_program17 aaa_program18 aaa_program19 aaa_program20
                 aaa_program21 aaa_program22 aaa_program23)
velmora_clsids=('{6B1F4E01-3A7C-4D29-9C85-5D20E7A31B44}' '{6B1F4E02-3A7C-4D29-9C85-5D20E7A31B44}')
velmora_classes='HKLM\Software\Classes'
velmora_maker='HKLM\SOFTWARE\Quillmarsh'
velmora_product="$velmora_maker"'\Velmora 2000'

# Every key of the product, parents after their subkeys.
velmora_product_keys() {
    local name
    for name in "${velmora_extensions[@]}"; do echo "$velmora_classes\\$name"; done
    for name in "${velmora_progids[@]}"; do
        echo "$velmora_classes\\$name\\DefaultIcon"
        echo "$velmora_classes\\$name\\Shell"
        echo "$velmora_classes\\$name"
    done
    for name in "${velmora_clsids[@]}"; do
        echo "$velmora_classes\\CLSID\\$name\\InprocServer32"
        echo "$velmora_classes\\CLSID\\$name"
    done
    echo "$velmora_product\\Settings"
    echo "$velmora_product\\99"
    echo "$velmora_product"
}

# Keys of others that must outlive the removal: near names of the product's.
velmora_bystander_keys() {
    echo "$velmora_maker\\Brindle 98\\Settings"
    echo "$velmora_maker\\Brindle 98"
    echo "$velmora_classes\\CLSID\\{6B1F4E03-3A7C-4D29-9C85-5D20E7A31B44}\\InprocServer32"
    echo "$velmora_classes\\CLSID\\{6B1F4E03-3A7C-4D29-9C85-5D20E7A31B44}"
    echo "$velmora_classes\\.plugins"
    echo "$velmora_classes\\aaa_program2\\DefaultIcon"
    echo "$velmora_classes\\aaa_program2\\Shell"
    echo "$velmora_classes\\aaa_program2"
}

# Keys below the product's own that the helper does not name: a verb of a
# ProgID and a key the product added later.
velmora_extra_keys() {
    echo "$velmora_classes\\aaa_program5\\Shell\\open\\command"
    echo "$velmora_classes\\aaa_program5\\Shell\\open"
    echo "$velmora_product\\Presets"
}

# The product's keys that the extra keys hold in place: NT does not delete a
# key that still has subkeys.
velmora_held_keys() {
    echo "$velmora_classes\\aaa_program5\\Shell"
    echo "$velmora_classes\\aaa_program5"
    echo "$velmora_product"
}

# The parents that stay in every case.
velmora_kept_keys() {
    echo "$velmora_maker"
    echo "$velmora_classes\\CLSID"
}

# KEY as a .reg section name.
velmora_reg_section() {
    local key="$1"
    echo "[HKEY_LOCAL_MACHINE${key#HKLM}]"
}

# Text as a .reg string: backslashes and quotes escaped.
velmora_reg_string() {
    local text="${1//\\/\\\\}"
    echo "\"${text//\"/\\\"}\""
}

# A REGEDIT4 file that first removes whatever an earlier run left of the
# product and of the bystanders, then registers WHAT: "product", "bystanders",
# or both.
velmora_write_seed() {
    local file="$1"
    shift
    local key what name
    {
        echo "REGEDIT4"
        echo
        for name in "${velmora_extensions[@]}" "${velmora_progids[@]}" .plugins aaa_program2; do
            echo "[-HKEY_LOCAL_MACHINE\\Software\\Classes\\$name]"
        done
        for name in "${velmora_clsids[@]}" '{6B1F4E03-3A7C-4D29-9C85-5D20E7A31B44}'; do
            echo "[-HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\$name]"
        done
        echo "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmarsh]"
        echo
        for what in "$@"; do
            case "$what" in
            product)
                for name in "${velmora_extensions[@]}"; do
                    velmora_reg_section "$velmora_classes\\$name"
                    echo "@=\"${velmora_progids[0]}\""
                done
                for name in "${velmora_progids[@]}"; do
                    velmora_reg_section "$velmora_classes\\$name"
                    echo "@=\"Velmora 2000 effect\""
                    velmora_reg_section "$velmora_classes\\$name\\DefaultIcon"
                    echo "@=$(velmora_reg_string "$win_product_dir\\Velmora.exe,1")"
                    velmora_reg_section "$velmora_classes\\$name\\Shell"
                    echo "@=\"open\""
                done
                for name in "${velmora_clsids[@]}"; do
                    velmora_reg_section "$velmora_classes\\CLSID\\$name"
                    echo "@=\"Velmora 2000 effect host\""
                    velmora_reg_section "$velmora_classes\\CLSID\\$name\\InprocServer32"
                    echo "@=$(velmora_reg_string "$win_product_dir\\VelmoraFx.dll")"
                    echo "\"ThreadingModel\"=\"Apartment\""
                done
                velmora_reg_section "$velmora_product"
                echo "\"Version\"=\"2000\""
                velmora_reg_section "$velmora_product\\Settings"
                echo "\"First Undo-path\"=$(velmora_reg_string "$win_undo_dir")"
                velmora_reg_section "$velmora_product\\99"
                echo "\"Registered\"=dword:00000001"
                ;;
            extras)
                while read -r key; do
                    velmora_reg_section "$key"
                    echo "@=\"added later\""
                done < <(velmora_extra_keys)
                ;;
            bystanders)
                while read -r key; do
                    velmora_reg_section "$key"
                    echo "\"Owner\"=\"someone else\""
                done < <(velmora_bystander_keys)
                ;;
            *)
                echo "velmora_write_seed: unknown part $what" >&2
                return 1
                ;;
            esac
        done
    } > "$file"
}

# Starts a private Xvfb and points DISPLAY at it; XVFB_PID is its process.
velmora_start_xvfb() {
    local work="$1" display_file="$1/xvfb-display"
    : > "$display_file"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$display_file" >/dev/null 2>&1 &
    XVFB_PID=$!
    local tries=0
    until [ -s "$display_file" ]; do
        sleep 0.1
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || { echo "Xvfb did not start" >&2; return 1; }
    done
    export DISPLAY=":$(cat "$display_file")"
}

# For pictures on Xvfb, which has no window manager: Wine draws frames and
# captions itself, with its own fonts (Tahoma; Marlett for the caption
# buttons) from fonts-wine, which this Wine reads from the prefix's Fonts
# directory only.
velmora_x11_without_window_manager() {
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
    if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    else
        echo "warning: fonts-wine is not installed; the caption buttons will lack their glyphs" >&2
    fi
}

# Runs the driver on the command line in CMDLINE_FILE (inside the prefix) with
# --pause-dir, and saves each box as it stands on the X screen to
# OUT_DIR/NAME.png, NAME taken in turn from the remaining arguments. The
# driver's report goes to stdout. A name whose box never comes is skipped.
velmora_capture_boxes() {
    local tools="$1" win_cmdline="$2" out_dir="$3"
    shift 3
    local pause_dir="$e2e_dir/pause" win_pause_dir="$win_e2e_dir"'\pause'
    rm -rf "$pause_dir"
    mkdir -p "$pause_dir" "$out_dir"
    local answers=() name
    for name in "$@"; do
        answers+=(--answer "${name#*=}")
    done
    (cd "$e2e_dir" && timeout 120 wine "$tools/Driver.exe" "$win_cmdline" --cwd "$win_start_dir" \
         --pause-dir "$win_pause_dir" "${answers[@]}" --timeout 30 | tr -d '\r') &
    local driver=$! index=1 rect tries
    for name in "$@"; do
        name="${name%%=*}"
        tries=0
        until [ -s "$pause_dir/box-$index.rect" ]; do
            # The helper has ended without this box: there is none to take.
            kill -0 "$driver" 2>/dev/null || { wait "$driver"; return; }
            sleep 0.1
            tries=$((tries + 1))
            [ "$tries" -lt 300 ] || { echo "no box $index appeared" >&2; wait "$driver"; return 1; }
        done
        # Visible is not yet painted: give the box's thread time to draw it.
        sleep 1
        read -r x y w h < "$pause_dir/box-$index.rect"
        import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out_dir/$name.raw.png"
        convert "$out_dir/$name.raw.png" -strip PNG8:"$out_dir/$name.png"
        rm -f "$out_dir/$name.raw.png"
        touch "$pause_dir/box-$index.go"
        index=$((index + 1))
    done
    wait "$driver"
}
