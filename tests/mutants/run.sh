#!/usr/bin/env bash
# Plants each fault of faults.md, one at a time, in a scratch copy of the working tree, builds
# the test programs that must notice it and runs them: CAUGHT when a test fails (or the
# program crashes or times out), MISSED when every test still passes. Run by hand:
#   [MUTANT_SERVER=PipeWire] tests/mutants/run.sh [ID ...]        (no IDs: every fault)
# The copy and its build live in $MUTANT_DIR (default: build-mutants/ in the repository);
# the real tree is only read. One build dir is shared; each planted file is put back after.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=${MUTANT_DIR:-$repo/build-mutants}
src=$work/src
build=$work/build

ids=() files=() seds=() targets=() tests=()
# fault ID, file, sed script that plants it, test programs to build, ctest regex to run
fault() { ids+=("$1"); files+=("$2"); seds+=("$3"); targets+=("$4"); tests+=("$5"); }

fault R1 model/Rounding.h 's/std::nearbyint(value)/std::round(value)/' \
    test_tempo_change '^TempoFromWeight\.'
fault R2 model/Rounding.h '0,/return std::numeric_limits<std::int16_t>::max();/s//return std::numeric_limits<std::int16_t>::min();/' \
    test_pointer '^Pointer\.'
fault G1 engine/BeatGrid.h 's| + tempo_ / 2) / tempo_|) / tempo_|' \
    test_click_timing '^(Tempos/OnTheGrid|ClickTiming)\.'
fault G2 engine/BeatGrid.h 's|(scaled / ticksPerMinute_)|((scaled + ticksPerMinute_ / 2) / ticksPerMinute_)|' \
    test_start_stop '^Stopped\.'
fault T1 engine/TempoMapping.cpp 's/i = first; i < last; ++i/i = first; i < last - 1; ++i/' \
    test_tempo_change '^TempoFromWeight\.'
fault T2 engine/TempoMapping.cpp 's|form.I_Rod.Height / 2;|form.I_Rod.Height;|' \
    test_tempo_change '^TempoFromWeight\.'
fault K1 ui/form/Keyboard.cpp '/s.KeyIsDown = false;/d' test_keyboard '^Keyboard\.'
fault K2 ui/form/Keyboard.cpp 's/KeyCode - vk::Keypad0)/KeyCode - vk::Keypad0 + 1)/' test_keyboard '^Keyboard\.'
fault K3 ui/form/Keyboard.cpp 's/KeyCode <= vk::Digit8)/KeyCode <= vk::Digit8 + 1)/' test_keyboard '^Keyboard\.'
fault K5 ui/qt/KeyMapping.cpp 's/if (scan >= kXkbDigit1 \&\& scan <= kXkbDigit0)/if (false)/' \
    test_keyboard '^KeyMapping\.'
fault K6 ui/qt/KeyMapping.cpp 's/return e.modifiers().testFlag(Qt::KeypadModifier) ||/return e.modifiers().testFlag(Qt::KeypadModifier) || false \&\&/' \
    test_keyboard '^KeyMapping\.'
fault K7 ui/qt/KeyMapping.cpp 's/    if (typesAnotherAlphabet(e)) {/    if (false) {/' test_keyboard '^KeyMapping\.'
fault K8 ui/qt/KeyMapping.cpp 's/return ch.isLetter() \&\& ch.script() != QChar::Script_Latin;/return ch.isLetter();/' \
    test_keyboard '^KeyMapping\.'
fault K4 ui/form/Keyboard.cpp 's/0, 0, kWeightStep)/0, 0, -kWeightStep)/' test_keyboard '^Keyboard\.'
fault P1 engine/TempoMapping.cpp 's/kAboveRodTop = 30/kAboveRodTop = 45/' test_pointer '^Pointer\.'
fault P2 ui/form/Pointer.cpp 's/Y >= kReleaseBandTop/Y > kReleaseBandTop/' test_pointer '^Pointer\.'
fault P3 ui/form/Pointer.cpp 's/0 < Y \&\& Y < box.Height \&\& 0 < X/0 <= Y \&\& Y < box.Height \&\& 0 < X/' \
    test_pointer '^Pointer\.'
fault P4 ui/form/Pointer.cpp '/^void Form1::P_X_MouseMove/,/^}/{/releasePointer/d}' test_pointer '^Pointer\.'
fault P5 ui/form/Pointer.cpp '/^void Form1::capturePointer/,/^}/{/window_.setCapture/d}' \
    test_event_storm '^EventStorm\.'
fault WM1 ui/qt/PointerInput.cpp 's/return buttonBits(held \& ~handedOver_);/return buttonBits(held);/' \
    "test_pointer metronome" '^(Pointer\.|window_move_openbox$)'
fault WM2 ui/qt/MetronomeWindow.cpp '/^    setCapture();$/d' test_metronome_window '^ShownWindow\.'
fault RB1 ui/qt/RepaintBands.cpp 's|const qreal across = halfWidth \* length / d.y() + 1;|const qreal across = halfWidth + 1;|' \
    test_metronome_window '^RepaintBands\.'
fault FP1 ui/qt/FramePacer.cpp '/    if (due < now)/,+1d' test_metronome_window '^FramePacer\.'
fault WH1 ui/form/Pointer.cpp 's/notches < 0 ? 1 : -1/notches < 0 ? -1 : 1/' test_pointer '^Pointer\.'
fault WH2 ui/form/Pointer.cpp 's/wheelRest_ -= notches \* kWheelNotch;/wheelRest_ = 0;/' test_pointer '^Pointer\.'
fault AX1 ui/qt/WindowAccessibility.cpp 's/seek(static_cast<std::int16_t>(tempo() + 1));/seek(static_cast<std::int16_t>(tempo() + 2));/' \
    metronome '^atspi_real_program$'
fault AX2 ui/qt/WindowAccessibility.cpp 's/^    if (!QAccessible::isActive())$/    if (true)/' \
    metronome '^atspi_real_program$'
fault AX3 ui/qt/WindowAccessibility.cpp 's/QAccessible::deleteAccessibleInterface(child);/static_cast<void>(child);/' \
    test_metronome_window '^ShownWindow\.'
fault H1 ui/form/Panels.cpp 's/ || !buttons(Index).Visible)/)/' \
    "test_panels metronome" '^(Panels\.|atspi_real_program$)'
fault N1 ui/form/Panels.cpp 's/Speaker_Show(state().SoundOff)/Speaker_Show(!state().SoundOff)/' \
    test_panels '^Panels\.'
fault N2 ui/form/Panels.cpp '/^void Form1::I_Scale_Click/,/^}/{/if (state().Playing)/,+1d}' \
    test_pointer '^Pointer\.'
fault N3 engine/Metronome.cpp 's/button.ForeColor = kLightGrey;/static_cast<void>(button);/' \
    test_panels '^Panels\.'
fault S1 engine/StartStop.cpp 's|toInt16(weight.Height / 2 + weight.Top)|toInt16(weight.Top)|' \
    test_start_stop '^Stopped\.'
fault S2 engine/StartStop.cpp 's/        Scale_Show(true);/        Scale_Show(false);/' \
    "test_start_stop test_panels" '^(Stopped|Panels)\.'
fault S3 engine/StartStop.cpp '/^        cancelClicks();$/d' test_click_timing '^ClickTiming\.'
fault SH1 engine/Metronome.cpp '/^void Metronome::Form_Unload/,/^}/{/state.SoundDevice.reset();/d;s/^    endRun();$/    state.SoundDevice.reset();\n    endRun();/}' \
    test_start_stop '^Stopped\.'
fault SH2 engine/Metronome.cpp '/^void Metronome::Form_Unload/,/^}/s/^    endRun();$/    state.Playing = false;/' \
    test_start_stop '^Stopped\.'
fault M1 sound/Mixer.cpp 's/\.frame <= blockStart + cursor/.frame < blockStart + frames/' \
    test_Mixer '^MixerTest\.'
fault M2 sound/Mixer.cpp '/^            cancelPending(command->voice);$/d' test_Mixer '^MixerTest\.'
fault M3 sound/Mixer.cpp 's/start.frame >= fromFrame;/start.frame > fromFrame;/' test_Mixer '^MixerTest\.'
fault M4 sound/Mixer.cpp 's/command->frame >= blockStart || command->ifLate/true || command->ifLate/' \
    test_Mixer '^MixerTest\.'
fault M5 sound/Mixer.cpp 's/source\[i\] \* voice.gain;/source[i];/' test_Mixer '^MixerTest\.'
fault MX1 sound/Mixer.cpp 's/pending_\[pendingCount_ - 1\].frame < to) {/pending_[pendingCount_ - 1].frame < from) {/' \
    test_Mixer '^MixerTest\.'
fault MX2 sound/Mixer.cpp 's/if (pendingCount_ == pending_.size()) {/if (pendingCount_ + 1 == pending_.size()) {/' \
    test_Mixer '^MixerTest\.'
fault HC1 sound/HeardClock.cpp 's/return std::max(line.frame, std::min(advanced, written));/return std::max(line.frame, advanced);/' \
    test_HeardClock '^(Served\.|Servers/SteadyPlay|Stalls/Restart)'
fault HC2 sound/HeardClock.cpp 's/gap = heardNow + held_ + sinkLatency_ + restartDelay_ - written;/gap = written - (heardNow + held_ + sinkLatency_ + restartDelay_);/' \
    test_HeardClock '^(Served\.|Servers/SteadyPlay|Stalls/Restart)'
fault HC3 sound/HeardClock.cpp 's/^    return lag;/    return -lag;/' \
    test_HeardClock '^(Served\.|Servers/SteadyPlay|Stalls/Restart)'
fault TB1 sound/PulseAudioOutput.cpp 's/write(frames, -frames);/write(frames, 0);/' \
    test_heard_clicks '^Servers/Heard\.AKey20Ms'
fault DK1 sound/SdlAudioOutput.cpp 's/if (const std::uint32_t device = openInMixerFormat()) {/if (const std::uint32_t device = 0) {/' \
    test_SdlAudioOutput '^SdlOutput\.'
fault C1 sound/Cls_DX7_JP.cpp 's/if (position != WaveCount)/if (false)/' test_Cls_DX7_JP '^SoundClassTest\.'
fault C2 sound/Cls_DX7_JP.cpp 's/if (LastIndex == kLastPossibleIndex)/if (false)/' \
    test_Cls_DX7_JP '^SoundClassTest\.'
fault C3 sound/Cls_DX7_JP.cpp '/^    LastIndex = 0;$/d' test_Cls_DX7_JP '^SoundClassTest\.'
fault C4 sound/Cls_DX7_JP.cpp 's/(LastIndex + 1)/(WaveCount + 1)/' test_Cls_DX7_JP '^SoundClassTest\.'
fault C5 sound/Cls_DX7_JP.cpp 's/? nullptr : \&Waves\[static_cast<std::size_t>(position)\];/? nullptr : \&Waves[1];/' \
    test_Cls_DX7_JP '^SoundClassTest\.'
fault W1 sound/WaveDecoder.cpp 's/offset += 8 + size + (size \& 1);/offset += 8 + size;/' \
    test_Cls_DX7_JP '^(WaveDecoder\.|SoundClass/BadFile)'
fault W2 sound/WaveDecoder.cpp '/if (offset + 8 + size > riffEnd)/,+1d' \
    test_Cls_DX7_JP '^(WaveDecoder\.|SoundClass/BadFile)'
fault W3 sound/WaveDecoder.h 's/kMaxSlotBytes = 32u << 20;/kMaxSlotBytes = 1024u << 20;/' \
    test_Cls_DX7_JP '^(WaveDecoder\.|SoundClass/BadFile)'
fault W4 sound/WaveDecoder.cpp 's|static_cast<std::uint64_t>(device.sampleRate) /|format.samplesPerSec /|' \
    test_Cls_DX7_JP '^WaveDecoder\.'
fault AL1 sound/SdlAudioOutput.cpp '/^    silenceAlsa();$/d' metronome '^no_sound_real_program$'
fault A1 engine/BeatLoop.cpp 's/run.BeatCounter == 0 ?/run.BeatCounter == 1 ?/' \
    test_click_timing '^(Tempos/OnTheGrid|ClickTiming|MuteAndBeats)'
fault A2 engine/BeatLoop.cpp 's/++run.BeatCounter >= state.BeatsPerMeasure/++run.BeatCounter > state.BeatsPerMeasure/' \
    test_click_timing '^(Tempos/OnTheGrid|ClickTiming|MuteAndBeats)'
fault A3 engine/BeatLoop.cpp 's/++run.BeatCounter >= state.BeatsPerMeasure/++run.BeatCounter == state.BeatsPerMeasure/' \
    test_click_timing '^(Tempos/OnTheGrid|ClickTiming|MuteAndBeats)'
fault U1 engine/BeatLoop.cpp 's|continue; // the measure holds its place while there is no sound|{ if (++run.BeatCounter >= state.BeatsPerMeasure) run.BeatCounter = 0; continue; }|' \
    test_click_timing '^(Tempos/OnTheGrid|ClickTiming|MuteAndBeats)'
fault L1 engine/BeatLoop.cpp 's/earliestStart() - lateLimit/earliestStart() - 100 * lateLimit/' \
    test_click_timing '^ClickTiming\.'
fault L2 ui/form/Panels.cpp '/^void Form1::L_Metro_Click/,/^}/{/Clicks_Renew/d}' \
    test_click_timing '^MuteAndBeats'
fault D1 engine/BeatClock.cpp 's|now - movedAt_ > lostAfter()|now - movedAt_ > lostAfter() / 4|' \
    test_click_timing '^DeviceLoss\.'
fault D2 engine/BeatClock.cpp '/offset_ = bridged(now) - heard;/d' test_click_timing '^DeviceLoss\.'
fault D3 engine/BeatLoop.cpp 's/^            cancelClicks();$/            static_cast<void>(0);/' test_click_timing '^DeviceLoss\.'
fault F1 engine/Metronome.cpp 's/if (state.SoundReady \&\& state.SoundDevice \&\& state.SoundDevice->SampleRate() > 0)/if (false)/' \
    test_heard_clicks '^Servers/Heard\.TheFirstClick'
fault CL1 app/CommandLine.cpp 's/value < low ||/value < low - 1 ||/' test_command_line 'Parsing\.'
fault CL2 app/CommandLine.cpp 's/                return typed;/                return name;/' test_command_line 'Parsing\.'
fault CL3 app/PlatformOpening.cpp 's/    if (type == QtFatalMsg) {/    if (false) {/' \
    "test_command_line metronome" '^RealProgram\.'
fault TS1 engine/TempoSearch.cpp 's/if (step > 0 \&\& gives(from + step))/if (false \&\& gives(from + step))/' \
    test_tempo_change '^TempoSearch\.'
# The real-server faults: each is checked on the private PulseAudio and the private PipeWire.
fault SN1 sound/PulseAudioOutput.cpp 's/if (stream_ != nullptr \&\& deviceOpen()) {/if (false) {/' \
    test_heard_clicks '^Servers/Heard\.EachStreamIsNamedByWhatItPlays/'
fault PS1 sound/PulseAudioOutput.cpp '/^        done(pa_stream_flush(stream_, nullptr, nullptr));$/d' \
    test_heard_clicks '^Servers/Heard\.TheFirstClick'
fault PS2 sound/PulseAudioOutput.cpp 's/readAhead = framesOf(timing->sink_usec);/readAhead = 0;/' \
    test_PulseAudioOutput '^Servers/PulseAudioOutputTest\.TheClockSaysWhatIsHeardOnAnyBuffer/PulseAudio'
fault PS3 sound/PulseAudioOutput.cpp '/^            output.connect();$/d' \
    test_heard_clicks '^Servers/Heard\.ClicksResume'

# MUTANT_SERVER=PulseAudio or PipeWire: the real-server faults on that server alone (the tests
# stop at the first failure, so a fault caught on one server says nothing of the other).
if [[ -n ${MUTANT_SERVER:-} ]]; then
    for i in "${!tests[@]}"; do
        [[ ${tests[$i]} == '^Servers/'* ]] && tests[$i]="${tests[$i]%/}.*/$MUTANT_SERVER"
    done
fi

# Which faults to plant.
selected=()
if (($# == 0)); then
    selected=("${!ids[@]}")
else
    for want in "$@"; do
        found=0
        for i in "${!ids[@]}"; do [[ ${ids[$i]} == "$want" ]] && selected+=("$i") && found=1; done
        ((found)) || { echo "no fault $want" >&2; exit 2; }
    done
fi

# A fresh copy of the working tree (mtimes kept, so unchanged files are not rebuilt).
rm -rf "$src"
mkdir -p "$src" "$build"
tar -C "$repo" --exclude='./build*' --exclude='./.git' -cf - . | tar -C "$src" -xf -
# Files an earlier run planted: their objects were built from a planted copy, and the copy
# above gives them the tree's older mtimes, so they would not be rebuilt. Touch them.
if [[ -f $work/planted ]]; then
    while read -r planted; do touch "$src/$planted"; done <"$work/planted"
    rm -f "$work/planted"
fi
cmake -S "$src" -B "$build" -G Ninja -DMETRO_BENCH=OFF -DMETRO_WERROR=OFF >"$work/cmake.log" 2>&1 ||
    { echo "configure failed: $work/cmake.log" >&2; exit 2; }

build_and_test() { # targets regex log
    cmake --build "$build" --target $1 >"$3" 2>&1 || return 2
    # A regex that names no test is broken: nothing would be run to catch the fault.
    [[ $(ctest --test-dir "$build" -N -R "$2") =~ Total\ Tests:\ [1-9] ]] || return 2
    ctest --test-dir "$build" -R "$2" --timeout 300 --stop-on-failure >>"$3" 2>&1 || return 1
    return 0
}

# The unplanted tree must pass, or CAUGHT means nothing: every regex of the faults chosen, one
# at a time (ctest's regular expressions take only a few groups, so they are not joined).
all_targets=$(for i in "${selected[@]}"; do echo "${targets[$i]}"; done | tr ' ' '\n' | sort -u | tr '\n' ' ')
: >"$work/baseline.log"
while read -r regex; do
    build_and_test "$all_targets" "$regex" "$work/baseline-part.log"
    status=$?
    cat "$work/baseline-part.log" >>"$work/baseline.log"
    if ((status != 0)); then
        echo "the unplanted tree fails ($regex): $work/baseline.log" >&2
        exit 2
    fi
done < <(for i in "${selected[@]}"; do echo "${tests[$i]}"; done | sort -u)

caught=0 missed=0 broken=0
for i in "${selected[@]}"; do
    id=${ids[$i]} file=${files[$i]}
    cp "$src/$file" "$work/original"
    echo "$file" >>"$work/planted"
    sed -i -e "${seds[$i]}" "$src/$file"
    if cmp -s "$src/$file" "$work/original"; then
        result="NOPATCH (the sed changed nothing)"
        ((broken++))
    else
        build_and_test "${targets[$i]}" "${tests[$i]}" "$work/$id.log"
        case $? in
        0) result=MISSED; ((missed++)) ;;
        1) result=CAUGHT; ((caught++)) ;;
        *) result="BROKEN (does not build or runs no test: $work/$id.log)"; ((broken++)) ;;
        esac
    fi
    cp "$work/original" "$src/$file" # a new mtime: the next build compiles it back
    printf '%-4s %s\n' "$id" "$result"
done
printf 'summary: %d caught, %d missed, %d broken of %d\n' "$caught" "$missed" "$broken" "${#selected[@]}"
((missed == 0 && broken == 0))
