using Quorvane;

namespace BasicGame;

/// <summary>Any connected gamepad plays: the first one that does something wins.</summary>
internal static class Pads
{
    public static bool Pressed(Input input, GamepadButton button)
    {
        for (var i = 0; i < Input.MaxGamepads; i++)
        {
            if (input.Gamepad(i).WasPressed(button)) return true;
        }
        return false;
    }

    public static bool Down(Input input, GamepadButton button)
    {
        for (var i = 0; i < Input.MaxGamepads; i++)
        {
            if (input.Gamepad(i).IsDown(button)) return true;
        }
        return false;
    }

    /// <summary>-1..1 from the left stick or the d-pad of any pad.</summary>
    public static float Horizontal(Input input)
    {
        for (var i = 0; i < Input.MaxGamepads; i++)
        {
            var pad = input.Gamepad(i);
            if (!pad.Connected) continue;
            var dpad = (pad.IsDown(GamepadButton.DPadRight) ? 1f : 0f) - (pad.IsDown(GamepadButton.DPadLeft) ? 1f : 0f);
            if (dpad != 0f) return dpad;
            if (pad.LeftStick.X != 0f) return pad.LeftStick.X;
        }
        return 0f;
    }
}
